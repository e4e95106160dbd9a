#include "pages/pages.h"

#include "pages/ckn610kpq.h"
#include "pages/cmr310skb.h"
#include "pages/cmr320kbs.h"
#include "pages/ctv520kbs.h"
#include "pages/czwe710skb.h"
#include "pages/czwe720wkb.h"

namespace setwright {

std::vector<std::unique_ptr<IProductPage>> CreateProductPages(ISelectionDialog& dialog) {
  std::vector<std::unique_ptr<IProductPage>> pages;
  pages.push_back(std::make_unique<CTV520KBS>(dialog));
  pages.push_back(std::make_unique<CMR320KBS>(dialog));
  pages.push_back(std::make_unique<CKN610KPQ>(dialog));
  pages.push_back(std::make_unique<CMR310SKB>(dialog));
  pages.push_back(std::make_unique<CZWE710SKB>(dialog));
  pages.push_back(std::make_unique<CZWE720WKB>(dialog));
  return pages;
}

}  // namespace setwright
