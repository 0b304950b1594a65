# Serial numbers of the simulated kits, one base per test run that uses kits.
#
# TarnControl's in-use table is keyed by the kit's device path, and the path carries the serial: two
# runs whose kits have equal serials are one kit to it, so one run finds the other's kit claimed
# ("Failed to connect") whenever they overlap. Kit n (from 1) of a run gets base + n, so a run owns
# the 256 serials from its base (the updater's test also starts a program with kits of its own at
# base + 0x80). A run that names no base gets the simulator's default, 4C580000: only one run may.
#
# lx_kit_serial(<run> <variable>) gives a run its base; a run missing here is an error, and so is a
# base whose block another run already has (checked when this file is read, that is at configure
# time). tests/road checks the registered tests themselves the same way.
set(LX_KIT_SERIALS
  # run                        base
  cyusb_tests                  4C580000  # names none: the simulator's default
  tarncontrol_com_tests        4C581000
  tarncontrol_vbscript         4C582000
  tarnrook_win_tests           4C583000
  tarnrook_nand_env_win_tests  4C583100
  tarnrook_frame_win_tests     4C584000
  fwupdate_win_tests           4C585000
  norlld_console_win_tests     4C585200
  programming_win_tests        4C585400
  programming_spi_win_tests    4C585800
  veltan_rook_win_tests        4C586000
  nor_explorer_win_tests       4C586100
  nor_explorer_bench           4C586200  # run by hand
  nor_spi_bessa_win_tests      4C586300
  nor_spi_pirel_win_tests      4C586400
  nor_spi_marro_win_tests      4C586500
  nor_spi_catalogue_iv128eq_win_tests  4C586600
  nor_spi_catalogue_iv064s_win_tests   4C586700
  nor_spi_catalogue_lu032d_win_tests   4C586800
  nor_spi_catalogue_iv256l64k_win_tests 4C586900
  jtag_loading_com_tests       4C587000
  tarnrook_lumivex_e2e         4C587100
  tarnrook_new_user_e2e        4C587200
  tarnrook_sheet_win_tests     4C58A000
)

# Fails (FATAL_ERROR) unless every row of `table` (run, base, run, base, ...) has a run name of its
# own and a base of eight hex digits in a 256-serial block of its own.
function(lx_kit_serials_check table)
  list(LENGTH table length)
  math(EXPR odd "${length} % 2")
  if(odd)
    message(FATAL_ERROR "kit serials: the table has a run without a base")
  endif()
  set(runs "")
  set(blocks "")
  set(owners "")
  math(EXPR last "${length} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET table ${i} run)
    list(GET table ${j} base)
    if(NOT base MATCHES "^[0-9A-Fa-f]+$")
      message(FATAL_ERROR "kit serials: ${run} has the base '${base}', not eight hex digits")
    endif()
    string(LENGTH "${base}" digits)
    if(NOT digits EQUAL 8)
      message(FATAL_ERROR "kit serials: ${run} has the base '${base}', not eight hex digits")
    endif()
    if(run IN_LIST runs)
      message(FATAL_ERROR "kit serials: ${run} has two rows")
    endif()
    math(EXPR block "0x${base} / 256")
    list(FIND blocks ${block} taken)
    if(NOT taken EQUAL -1)
      list(GET owners ${taken} owner)
      message(FATAL_ERROR "kit serials: ${run} (${base}) repeats the serials of ${owner}: "
                          "the in-use table would take their kits for one")
    endif()
    list(APPEND runs ${run})
    list(APPEND blocks ${block})
    list(APPEND owners "${run} (${base})")
  endforeach()
endfunction()

function(lx_kit_serial run variable)
  list(FIND LX_KIT_SERIALS ${run} at)
  math(EXPR odd "${at} % 2")
  if(at EQUAL -1 OR odd)
    message(FATAL_ERROR "kit serials: ${run} uses simulated kits but has no row in cmake/KitSerials.cmake")
  endif()
  math(EXPR at "${at} + 1")
  list(GET LX_KIT_SERIALS ${at} base)
  set(${variable} ${base} PARENT_SCOPE)
endfunction()

lx_kit_serials_check("${LX_KIT_SERIALS}")
