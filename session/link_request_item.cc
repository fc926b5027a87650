// Switching a link on or off.
#include "link_request_item.h"

#include "lumora/error.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"
#include "store/uki.h"

namespace lumora {

PRLinkRequestItem::PRLinkRequestItem(std::string uki, LONG requesterKind, bool link)
    : PRWriteRequestItem(std::move(uki), requesterKind), m_link(link) {}

HRESULT PRLinkRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRLinkRequestItem::Execute", [&]() -> HRESULT {
    // Nothing to switch: no other row may be touched in its place.
    if (!FindKey(keys, m_uki)) return eErrorKeyNotFound;
    const std::string sourceUki = keys.m_Key;
    if (m_link && !IsCommonSection(SectionOfUki(sourceUki))) return E_INVALIDARG;
    {
      CKeySet source(keys.m_pDatabase, dbOpenSnapshot);
      source.m_strFilter = KeyFilter(SectionOfUki(sourceUki), KeyOfUki(sourceUki));
      source.Open();
      if (source.IsEOF() || IsCommonSection(SectionOfUki(source.m_Key))) return E_INVALIDARG;
    }
    keys.Edit();
    keys.m_IsLinked = m_link ? TRUE : FALSE;
    keys.Update();
    return S_OK;
  });
}

}  // namespace lumora
