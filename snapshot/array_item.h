// PRArrayItem: one element of an array variable, its array key and raw value, copied
// when the item was made. Refers to nothing else. Apartment-bound.
#ifndef LUMORA_SNAPSHOT_ARRAY_ITEM_H_
#define LUMORA_SNAPSHOT_ARRAY_ITEM_H_

#include <string>

#include "common/catalogue.h"
#include "lumora/object.h"

namespace lumora {

class PRArrayItem : public Implements<DispatchImpl<IPRArrayItem>> {
 public:
  void Fill(std::string value, std::string index);

  HRESULT get_Value(BSTR* pVal) override;
  HRESULT get_Index(BSTR* pVal) override;

 protected:
  ~PRArrayItem() override = default;

 private:
  std::string m_value;  // the element's raw value
  std::string m_index;  // its array key, as stored
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_ARRAY_ITEM_H_
