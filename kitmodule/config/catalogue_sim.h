// Chip models of the simulated kit made from catalogue rows: what a part of the catalogue answers on the
// bus (its ID, its CFI regions in its own order, its command set, protection and write buffer) comes
// from the same row the lookup reads, so the two cannot drift apart.
#pragma once

#include <memory>
#include <vector>

#include "catalogue.h"
#include "kitsim/kit.h"
#include "kitsim/nand_chip.h"
#include "kitsim/nor_chip.h"
#include "kitsim/spi_chip.h"

namespace rook {

// The model of one die of a NOR row.
kitsim::NorPart NorPartOf(const NorCatalogueRow& row);

// The model of a NAND row with its geometry (NandGeometryFor): the ID bytes of its code, its page,
// spare and block layout and row cycles.
kitsim::NandPart NandPartOf(const NandCatalogueRow& row, const NandGeometry& g);

// The model of an SPI row: its ID with the extended ID bytes, its size, page and sectors, CFI in the ID
// answer unless the row says the part has none.
kitsim::SpiPart SpiPartOf(const SpiCatalogueRow& row);

// The dies of a NOR part plugged into a kit: the second die behind chip select 1, or behind chip select
// 0 at its address bit. Puts back what the positions held before when it goes.
class CataloguePart {
public:
    CataloguePart(const NorCatalogueRow& row, kitsim::Kit& kit);
    ~CataloguePart();
    CataloguePart(const CataloguePart&) = delete;
    CataloguePart& operator=(const CataloguePart&) = delete;

    int DieCount() const { return static_cast<int>(dies_.size()); }
    kitsim::NorChip& Die(int n) { return *dies_[static_cast<size_t>(n)]; }

private:
    kitsim::Kit& kit_;
    std::vector<std::unique_ptr<kitsim::NorChip>> dies_;
    std::unique_ptr<kitsim::TwoDieDevice> pair_;
    std::vector<kitsim::SocketDevice*> plugged_;
    std::vector<kitsim::SocketDevice*> before_;
};

}  // namespace rook
