// Dialog templates and controls of the profiler and trace viewers (20100 and up, clear of the
// main program's own resource numbers).
#pragma once

#define IDD_LX_PROFILER 20100
#define IDC_LX_PROFILER_GRID 20101
#define IDC_LX_PROFILER_RESET 20102
#define IDC_LX_PROFILER_BEGIN 20103
#define IDC_LX_PROFILER_END 20104
#define IDC_LX_PROFILER_EXPORT 20105
#define IDC_LX_PROFILER_IMPORT 20106

#define IDD_LX_TRACE_VIEWER 20110
#define IDC_LX_TRACE_GRID 20111
