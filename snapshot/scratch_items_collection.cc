// The scratch area of a section.
#include "scratch_items_collection.h"

#include "common/component_module.h"
#include "lumora/error.h"
#include "lumora/trace.h"
#include "lumora/values.h"
#include "scratch_item.h"
#include "store/key_lookup.h"
#include "store/profile_database.h"
#include "store/query_filters.h"
#include "store/value_protection.h"

namespace lumora {
namespace {

// A position (a number) or a key (a string); by reference or by value. False for any other
// index. A position is taken whole: cut to 16 bits, 65536 would name the first variable.
bool ReadIndex(const VARIANT& index, bool* isPosition, LONG* position, std::string* key) {
  const bool byRef = (index.vt & VT_BYREF) != 0;
  if (byRef && index.byref == nullptr) return false;
  if ((index.vt & 2) != 0) {
    *isPosition = true;
    if ((index.vt & ~VT_BYREF) == VT_I4) {
      *position = byRef ? *index.plVal : index.lVal;
    } else if ((index.vt & ~VT_BYREF) == VT_I2) {
      *position = byRef ? *index.piVal : index.iVal;
    } else {
      return false;
    }
    return true;
  }
  if ((index.vt & ~VT_BYREF) == VT_BSTR) {
    *isPosition = false;
    *key = Bstr::ToUtf8(byRef ? *index.pbstrVal : index.bstrVal);
    return true;
  }
  return false;
}

// A key or value with an embedded zero character cannot be kept as given: the store would
// cut it short where it is compared or read back.
bool HasZeroCharacter(BSTR text) { return Bstr::View(text).find(u'\0') != std::u16string_view::npos; }

// Holds the database's one write transaction while a scratch variable is looked for and
// saved: no other collection or process can add the same key in between. Committed on
// every way out, so the connection is never left inside a transaction.
class ScratchWriteTransaction {
 public:
  ScratchWriteTransaction() : m_workspace(*ProfileDatabase()->m_pWorkspace) { m_workspace.BeginTrans(); }
  ~ScratchWriteTransaction() {
    try {
      m_workspace.CommitTrans();
    } catch (...) {
      Trace("%s: unknown error", "PRScratchItemsCollection::CreateKey");
    }
  }
  ScratchWriteTransaction(const ScratchWriteTransaction&) = delete;
  ScratchWriteTransaction& operator=(const ScratchWriteTransaction&) = delete;

 private:
  CDaoWorkspace& m_workspace;
};

}  // namespace

void PRScratchItemsCollection::Open(const std::string& section) {
  auto cursor = std::make_unique<CScratchSet>(ProfileDatabase());
  cursor->m_strFilter = "SECTION = '" + QuoteFilterText(section) + "'";
  cursor->Open();
  m_cursor = std::move(cursor);
  m_section = section;
}

HRESULT PRScratchItemsCollection::Ready() {
  const HRESULT hr = OpenProfileDatabase();
  if (FAILED(hr)) return hr;
  if (!m_cursor || !m_cursor->IsOpen()) Open(m_section);
  return S_OK;
}

HRESULT PRScratchItemsCollection::Refresh() {
  const HRESULT hr = OpenProfileDatabase();
  if (FAILED(hr)) return hr;
  Open(m_section);
  return S_OK;
}

bool PRScratchItemsCollection::FindKeyRow(const std::string& key) {
  if (m_cursor->IsBOF() && m_cursor->IsEOF()) return false;
  m_cursor->MoveFirst();
  return m_cursor->FindFirst(("KEY = '" + QuoteFilterText(key) + "'").c_str()) != FALSE;
}

bool PRScratchItemsCollection::FindKeyRowNow(const std::string& key) {
  // A find reads the live table, so a row deleted since the cursor was opened is never
  // found; only a row saved since is missing from the cursor, which a new one takes in.
  if (FindKeyRow(key)) return true;
  Open(m_section);
  return FindKeyRow(key);
}

HRESULT PRScratchItemsCollection::get_Count(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT hr = Refresh();
    if (FAILED(hr)) return hr;
    *pVal = m_cursor->GetRecordCount();
    return S_OK;
  });
}

HRESULT PRScratchItemsCollection::CreateKey(BSTR key, BSTR Value) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (HasZeroCharacter(key) || HasZeroCharacter(Value)) return E_INVALIDARG;
    const HRESULT hr = OpenProfileDatabase();
    if (FAILED(hr)) return hr;
    const std::string name = Bstr::ToUtf8(key);
    // Protected before the row is touched: a value that cannot be stored changes nothing.
    const std::string stored = ProtectValue(Bstr::ToUtf8(Value));
    // The rows are looked at under the write lock, as they are now: a key another
    // collection or process saved since this one's cursor was opened is replaced, never
    // added a second time.
    ScratchWriteTransaction transaction;
    Open(m_section);
    if (FindKeyRow(name)) {
      m_cursor->Edit();
    } else {
      m_cursor->AddNew();
      m_cursor->m_section = m_section;
      m_cursor->m_key = name;
    }
    m_cursor->m_value = stored;
    m_cursor->Update();
    return S_OK;
  });
}

HRESULT PRScratchItemsCollection::DeleteKey(BSTR key) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (HasZeroCharacter(key)) return E_INVALIDARG;  // no key holds one
    const HRESULT hr = Ready();
    if (FAILED(hr)) return hr;
    if (FindKeyRowNow(Bstr::ToUtf8(key))) m_cursor->Delete();
    return S_OK;
  });
}

HRESULT PRScratchItemsCollection::DeleteAllKeys() {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT hr = Refresh();
    if (FAILED(hr)) return hr;
    if (m_cursor->IsBOF() && m_cursor->IsEOF()) return S_OK;
    m_cursor->MoveFirst();
    while (!m_cursor->IsEOF()) {
      m_cursor->Delete();
      m_cursor->MoveNext();
    }
    return S_OK;
  });
}

HRESULT PRScratchItemsCollection::Item(VARIANT Index, VARIANT* pItem) {
  if (pItem == nullptr) return E_POINTER;
  HRESULT result = S_OK;
  const HRESULT hr = LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT ready = Ready();
    if (FAILED(ready)) return ready;
    bool isPosition = false;
    LONG position = 0;
    std::string key;
    if (!ReadIndex(Index, &isPosition, &position, &key)) return E_INVALIDARG;
    if (isPosition) {
      Open(m_section);  // positions count the rows as they are now
      if (position < 0 || position >= m_cursor->GetRecordCount()) return E_INVALIDARG;
      m_cursor->MoveFirst();
      for (LONG i = 0; i < position; ++i) m_cursor->MoveNext();
    } else if (!FindKeyRowNow(key)) {
      result = eErrorKeyNotFound;
      return result;
    }
    ComPtr<PRScratchItem> item = MakeComponentObject<PRScratchItem>();
    item->Bind(ComPtr<PRScratchItemsCollection>(this), m_cursor->m_section, m_cursor->m_key);
    ComPtr<IDispatch> dispatch = item.query<IDispatch>();
    VariantClear(pItem);
    pItem->vt = VT_DISPATCH;
    pItem->pdispVal = dispatch.detach();
    return S_OK;
  });
  // Only a key that names nothing is told apart; every other failure is a bad index.
  if (FAILED(hr) && hr != eErrorKeyNotFound) return E_INVALIDARG;
  return hr;
}

}  // namespace lumora
