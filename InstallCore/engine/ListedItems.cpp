#include "ListedItems.h"

namespace ListedItems {

Text Format(const List<Text>& items, uint32_t limit) {
  Text text;
  for (uint32_t i = 0; i < items.Count() && i < limit; ++i) {
    text.Append("\r\n");
    text.Append(items[i]);
  }
  if (items.Count() > limit) {
    text.Append("\r\nand ");
    text.AppendDecimal(items.Count() - limit);
    text.Append(" more");
  }
  return text;
}

}  // namespace ListedItems
