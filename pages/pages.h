// The six settings pages, one per model, in the order of the selection dialog's list.
#pragma once

#include <memory>
#include <vector>

#include "toolkit/product_page.h"

namespace setwright {

// TV-520KBS, MR-320KBS, KN-610K/PQ, MR-310SKB, ZWE-710SKB, ZWE-720W/KB. The pages live
// as long as the selection dialog and reach it through `dialog`.
std::vector<std::unique_ptr<IProductPage>> CreateProductPages(ISelectionDialog& dialog);

}  // namespace setwright
