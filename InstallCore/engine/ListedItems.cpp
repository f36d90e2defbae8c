#include "ListedItems.h"

#include "WizardText.h"

namespace ListedItems {

Text Format(const List<Text>& items, uint32_t limit, const Text& more) {
  Text text;
  for (uint32_t i = 0; i < items.Count() && i < limit; ++i) {
    text.Append("\r\n");
    text.Append(items[i]);
  }
  if (items.Count() > limit) {
    Text count;
    count.AppendDecimal(items.Count() - limit);
    text.Append("\r\n");
    text.Append(WizardText::FormatTwoStrings(more, count, Text()));
  }
  return text;
}

}  // namespace ListedItems
