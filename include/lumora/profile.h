// The profile component's public contract, as client programs see it: the enumerations,
// the component's own result codes (facility 4, codes 0xE000 to 0xEFFF; the two warnings
// are success codes, so a caller that tests only for failure takes them for success), and
// the dual interfaces of the public type library QuenProfileLib with their dispatch
// identifiers and class identifiers. Every interface derives from IDispatch; its own
// methods follow the seven IUnknown/IDispatch slots in the order declared here, and each
// can also be called through IDispatch::Invoke with the dispatch identifier given beside
// it (kDispid...). Every method returns an HRESULT; the value a client sees as the
// method's result is its last (out) parameter. Strings handed out are new BSTRs and
// interface pointers carry one reference: the caller frees and releases them. The GUIDs
// never change. A client includes this header and links only liblumora-automation.
#ifndef LUMORA_PROFILE_H_
#define LUMORA_PROFILE_H_

#include "lumora/automation.h"
#include "lumora/com_ptr.h"

enum EProfileDataType : int32_t {
  eTypeUnknown = 0,
  eTypeInt32 = 1,
  eTypeDateTime = 2,
  eTypeDate = 3,
  eTypeTime = 4,
  eTypeString = 5,
  eTypeBoolean = 6,
  eTypeStringList = 7,
  eTypeArrayOfStrings = 8,
  eTypeEnumOfStrings = 9,
  eTypeFirstEnum = 0,
  eTypeLastEnum = 9,
};

enum EVolatility : int32_t {
  eVolatilityChangesNever = 0,
  eVolatilityChangesRarely = 1,
  eVolatilityChangesOften = 2,
  eVolatilityFirstEnum = 0,
  eVolatilityLastEnum = 2,
};

enum EPrivacy : int32_t {
  ePrivacyPrivate = 0,
  ePrivacyShared = 1,
  ePrivacyFirstEnum = 0,
  ePrivacyLastEnum = 1,
};

enum EProfileInterfaceFacilityError : HRESULT {
  eErrorStartRange = static_cast<HRESULT>(0x8004E000u),
  eErrorRegKeyNotFound = static_cast<HRESULT>(0x8004E000u),
  eErrorCipherInitializingFailed = static_cast<HRESULT>(0x8004E200u),
  eErrorCipherEncryptingFailed = static_cast<HRESULT>(0x8004E201u),
  eErrorProfileTypeMismatch = static_cast<HRESULT>(0x8004E300u),
  eErrorValueIsNotSet = static_cast<HRESULT>(0x8004E301u),
  eErrorKeyNotFound = static_cast<HRESULT>(0x8004E302u),
  eWarningValueUnchanged = 0x0004E303,
  eWarningOnlyValueChanged = 0x0004E304,
  eErrorBadKey = static_cast<HRESULT>(0x8004E305u),
  eErrorEndRange = static_cast<HRESULT>(0x8004EFFFu),
};

// The result of an operation the user refused in a consent dialog.
inline constexpr HRESULT kCancelledByUser = HRESULT_FROM_WIN32(ERROR_CANCELLED);  // 0x800704C7

// The raw value that means "no value" for every type: the two characters 0x02 0x02.
inline constexpr char kNotSetRawValue[] = "\x02\x02";

struct IPRKeyAttrsCollection;
struct IPRScratchItemsCollection;

// Top level interface to the profile store (class PRProfile, ProgID PRProfile.PRProfile).
// A program asks for its company's section, queues reads and writes, and executes each
// queue in one batch; the user confirms what leaves the store and what is saved.
struct IPRProfile : IDispatch {
  // Add request to read a profile variable specified by uki.
  virtual HRESULT AddReadRequest(BSTR uki) = 0;
  // Read all queued requests, and return them as a collection.
  virtual HRESULT ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection) = 0;
  // Add request to modify a profile variable's raw value.
  virtual HRESULT AddModifyRawValueRequest(BSTR uki, BSTR newRawValue) = 0;
  // Add request to create a new profile variable using RawValue.
  virtual HRESULT AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility,
                                      EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                      VARIANT* enumOptions) = 0;
  // Add request to create a new profile link to an existing profile variable specified by ukiSrc.
  virtual HRESULT AddCreateLinkKeyRequest(BSTR uki, BSTR ukiSrc) = 0;
  // Add request to delete a profile variable.
  virtual HRESULT AddDeleteKeyRequest(BSTR uki) = 0;
  // Do all the queued write requests (as a single transaction). Returns the number of
  // requests successfully executed.
  virtual HRESULT ExecuteWriteRequests(LONG hwnd, BSTR message, LONG* result) = 0;
  // Gain access to the profile section specified by reverseDomainName. You must be signed
  // with a digital signature that gives you permission to access that section.
  virtual HRESULT GrantSectionAccess(BSTR reverseDomainName) = 0;
  // Add request to create a new profile variable using Variant
  virtual HRESULT AddCreateKeyRequest2(BSTR uki, EProfileDataType Type, VARIANT* Value, EVolatility volatility,
                                       EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                       VARIANT* enumOptions) = 0;
  // Add request to modify a profile variable's value.
  virtual HRESULT AddModifyValueRequest(BSTR uki, VARIANT* newValue) = 0;

 protected:
  ~IPRProfile() = default;
};

// A collection of profile variables. A read-only snapshot.
struct IPRKeyAttrsCollection : IDispatch {
  // Returns the number of profile variables in this collection
  virtual HRESULT get_Count(LONG* pVal) = 0;
  // Get array collection for the array profile variable specified by uki
  virtual HRESULT GetArray(BSTR uki, IDispatch** pResult) = 0;
  // Returns whether a key exists
  virtual HRESULT Exists(VARIANT Index, VARIANT_BOOL* bExists) = 0;
  virtual HRESULT get__NewEnum(IUnknown** pVal) = 0;
  // Returns a profile variable object either by position or uki.
  virtual HRESULT Item(VARIANT Index, VARIANT* pItem) = 0;

 protected:
  ~IPRKeyAttrsCollection() = default;
};

// A profile variable. Properties are read only. Use IPRProfile::AddModifyRawValueRequest
// to change values
struct IPRKeyAttr : IDispatch {
  virtual HRESULT get_Value(VARIANT* pVal) = 0;
  virtual HRESULT get_Type(EProfileDataType* pVal) = 0;
  // Has the value for this key been set yet?
  virtual HRESULT get_IsValueSet(VARIANT_BOOL* pVal) = 0;

 protected:
  ~IPRKeyAttr() = default;
};

// Collection of array items in a profile variable.
struct IPRArrayItemsCollection : IDispatch {
  // Returns the number of array items in this collection
  virtual HRESULT get_Count(LONG* pVal) = 0;
  virtual HRESULT get__NewEnum(IUnknown** pVal) = 0;
  // Returns an array item either by position or key.
  virtual HRESULT Item(VARIANT Index, VARIANT* pItem) = 0;

 protected:
  ~IPRArrayItemsCollection() = default;
};

// An array item within a profile variable.
struct IPRArrayItem : IDispatch {
  virtual HRESULT get_Value(BSTR* pVal) = 0;
  // property Index
  virtual HRESULT get_Index(BSTR* pVal) = 0;

 protected:
  ~IPRArrayItem() = default;
};

// A collection of scratch variables.
struct IPRScratchItemsCollection : IDispatch {
  // Returns the number of scratch variables in this collection
  virtual HRESULT get_Count(LONG* pVal) = 0;
  // Creates a scratch variable
  virtual HRESULT CreateKey(BSTR key, BSTR Value) = 0;
  // Deletes a scratch variable
  virtual HRESULT DeleteKey(BSTR key) = 0;
  // Deletes all scratch variables in this scratch area.
  virtual HRESULT DeleteAllKeys() = 0;
  // Returns a scratch variable either by position or uki.
  virtual HRESULT Item(VARIANT Index, VARIANT* pItem) = 0;

 protected:
  ~IPRScratchItemsCollection() = default;
};

// A scratch variable. Use Value property to read or write its value.
struct IPRScratchItem : IDispatch {
  virtual HRESULT get_Value(BSTR* pVal) = 0;
  virtual HRESULT put_Value(BSTR newVal) = 0;

 protected:
  ~IPRScratchItem() = default;
};

// An object for converting to and from profile raw values, and more useful types.
// Dispatch identifiers equal slot positions from 1.
struct IPRTypeConvert : IDispatch {
  virtual HRESULT ConvertRawStringToDate(BSTR bstr, DATE* result) = 0;
  virtual HRESULT ConvertDateToRawString(DATE date, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToBoolean(BSTR bstr, VARIANT_BOOL* result) = 0;
  virtual HRESULT ConvertBooleanToRawString(VARIANT_BOOL b, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToInt32(BSTR bstr, LONG* result) = 0;
  virtual HRESULT ConvertInt32ToRawString(LONG l, BSTR* result) = 0;
  virtual HRESULT ConvertEnumToRawString(SHORT n, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToEnum(BSTR bstr, SHORT* result) = 0;
  virtual HRESULT ConvertRawStringToDateTime(BSTR bstr, DATE* result) = 0;
  virtual HRESULT ConvertRawStringToTime(BSTR bstr, DATE* result) = 0;
  virtual HRESULT ConvertDateTimeToRawString(DATE date, BSTR* result) = 0;
  virtual HRESULT ConvertTimeToRawString(DATE date, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToMillisecsAfter1970(BSTR bstr, LONG* result) = 0;

 protected:
  ~IPRTypeConvert() = default;
};

// Dispatch identifiers. IPRProfile leaves 8 and 9 unused: GrantSectionAccess is 10.
inline constexpr DISPID kDispidAddReadRequest = 1;
inline constexpr DISPID kDispidExecuteReadRequests = 2;
inline constexpr DISPID kDispidAddModifyRawValueRequest = 3;
inline constexpr DISPID kDispidAddCreateKeyRequest = 4;
inline constexpr DISPID kDispidAddCreateLinkKeyRequest = 5;
inline constexpr DISPID kDispidAddDeleteKeyRequest = 6;
inline constexpr DISPID kDispidExecuteWriteRequests = 7;
inline constexpr DISPID kDispidGrantSectionAccess = 10;
inline constexpr DISPID kDispidAddCreateKeyRequest2 = 11;
inline constexpr DISPID kDispidAddModifyValueRequest = 12;
// The collections: Item is the default member; _NewEnum is DISPID_NEWENUM.
inline constexpr DISPID kDispidItem = DISPID_VALUE;  // 0
inline constexpr DISPID kDispidCount = 1;
inline constexpr DISPID kDispidGetArray = 2;
inline constexpr DISPID kDispidExists = 3;
inline constexpr DISPID kDispidNewEnum = DISPID_NEWENUM;  // -4
inline constexpr DISPID kDispidCreateKey = 2;
inline constexpr DISPID kDispidDeleteKey = 3;
inline constexpr DISPID kDispidDeleteAllKeys = 4;
// The items: Value is the default member.
inline constexpr DISPID kDispidValue = DISPID_VALUE;  // 0
inline constexpr DISPID kDispidType = 1;
inline constexpr DISPID kDispidIsValueSet = 2;
inline constexpr DISPID kDispidIndex = 1;

// The public type library QuenProfileLib, version 1.0.
// {F8174A6B-A518-4BFE-86ED-B33035E7A949}
inline constexpr GUID LIBID_QuenProfileLib = {
    0xF8174A6B, 0xA518, 0x4BFE, {0x86, 0xED, 0xB3, 0x30, 0x35, 0xE7, 0xA9, 0x49}};
// {1CA0F318-73AD-4CFD-8A7B-7BEBAD16D1A4}
inline constexpr CLSID CLSID_PRProfile = {0x1CA0F318, 0x73AD, 0x4CFD, {0x8A, 0x7B, 0x7B, 0xEB, 0xAD, 0x16, 0xD1, 0xA4}};
// {8C3DFF9F-5196-4C32-9125-2B31BEC1B947}
inline constexpr IID IID_IPRProfile = {0x8C3DFF9F, 0x5196, 0x4C32, {0x91, 0x25, 0x2B, 0x31, 0xBE, 0xC1, 0xB9, 0x47}};
// {4AEFC60B-FB83-4DD2-9519-CF8EFAF9053C}
inline constexpr CLSID CLSID_PRKeyAttrsCollection = {
    0x4AEFC60B, 0xFB83, 0x4DD2, {0x95, 0x19, 0xCF, 0x8E, 0xFA, 0xF9, 0x05, 0x3C}};
// {7546D55D-9E95-47D5-B409-AB59C8ADCDA0}
inline constexpr IID IID_IPRKeyAttrsCollection = {
    0x7546D55D, 0x9E95, 0x47D5, {0xB4, 0x09, 0xAB, 0x59, 0xC8, 0xAD, 0xCD, 0xA0}};
// {EBE0B7C3-B701-4654-AD75-7312720AF913}
inline constexpr CLSID CLSID_PRKeyAttr = {0xEBE0B7C3, 0xB701, 0x4654, {0xAD, 0x75, 0x73, 0x12, 0x72, 0x0A, 0xF9, 0x13}};
// {64F5F4BE-27F2-46B9-83EA-E310ACE1EA0E}
inline constexpr IID IID_IPRKeyAttr = {0x64F5F4BE, 0x27F2, 0x46B9, {0x83, 0xEA, 0xE3, 0x10, 0xAC, 0xE1, 0xEA, 0x0E}};
// {1F497175-89F9-4BCF-B589-C9CD07DAE394}
inline constexpr CLSID CLSID_PRArrayItemsCollection = {
    0x1F497175, 0x89F9, 0x4BCF, {0xB5, 0x89, 0xC9, 0xCD, 0x07, 0xDA, 0xE3, 0x94}};
// {0A52A5F6-8BD5-47D4-869D-677ECE047873}
inline constexpr IID IID_IPRArrayItemsCollection = {
    0x0A52A5F6, 0x8BD5, 0x47D4, {0x86, 0x9D, 0x67, 0x7E, 0xCE, 0x04, 0x78, 0x73}};
// {4AF51C69-1784-4730-BF9C-9EFB9022D8EE}
inline constexpr CLSID CLSID_PRArrayItem = {
    0x4AF51C69, 0x1784, 0x4730, {0xBF, 0x9C, 0x9E, 0xFB, 0x90, 0x22, 0xD8, 0xEE}};
// {129D911F-4038-4EA3-A2CC-8F872FDBF3A4}
inline constexpr IID IID_IPRArrayItem = {0x129D911F, 0x4038, 0x4EA3, {0xA2, 0xCC, 0x8F, 0x87, 0x2F, 0xDB, 0xF3, 0xA4}};
// {62E83167-C7D7-426F-A0EA-EF86377E00ED}
inline constexpr CLSID CLSID_PRScratchItemsCollection = {
    0x62E83167, 0xC7D7, 0x426F, {0xA0, 0xEA, 0xEF, 0x86, 0x37, 0x7E, 0x00, 0xED}};
// {B45971A8-6C53-4F62-B78E-B2F900835600}
inline constexpr IID IID_IPRScratchItemsCollection = {
    0xB45971A8, 0x6C53, 0x4F62, {0xB7, 0x8E, 0xB2, 0xF9, 0x00, 0x83, 0x56, 0x00}};
// {C15B3C53-98D0-482E-A0FA-4F4BD08D1610}
inline constexpr CLSID CLSID_PRScratchItem = {
    0xC15B3C53, 0x98D0, 0x482E, {0xA0, 0xFA, 0x4F, 0x4B, 0xD0, 0x8D, 0x16, 0x10}};
// {DA5725BB-2613-4625-9534-9EA0153A9B27}
inline constexpr IID IID_IPRScratchItem = {
    0xDA5725BB, 0x2613, 0x4625, {0x95, 0x34, 0x9E, 0xA0, 0x15, 0x3A, 0x9B, 0x27}};
// {676134B4-507B-4431-997F-10396E60BC93}
inline constexpr CLSID CLSID_PRTypeConvert = {
    0x676134B4, 0x507B, 0x4431, {0x99, 0x7F, 0x10, 0x39, 0x6E, 0x60, 0xBC, 0x93}};
// {EA245BEF-0B67-468C-AD9C-60F8C7860631}
inline constexpr IID IID_IPRTypeConvert = {
    0xEA245BEF, 0x0B67, 0x468C, {0xAD, 0x9C, 0x60, 0xF8, 0xC7, 0x86, 0x06, 0x31}};

LUMORA_INTERFACE_ID(IPRProfile, IID_IPRProfile)
LUMORA_INTERFACE_ID(IPRKeyAttrsCollection, IID_IPRKeyAttrsCollection)
LUMORA_INTERFACE_ID(IPRKeyAttr, IID_IPRKeyAttr)
LUMORA_INTERFACE_ID(IPRArrayItemsCollection, IID_IPRArrayItemsCollection)
LUMORA_INTERFACE_ID(IPRArrayItem, IID_IPRArrayItem)
LUMORA_INTERFACE_ID(IPRScratchItemsCollection, IID_IPRScratchItemsCollection)
LUMORA_INTERFACE_ID(IPRScratchItem, IID_IPRScratchItem)
LUMORA_INTERFACE_ID(IPRTypeConvert, IID_IPRTypeConvert)

#endif  // LUMORA_PROFILE_H_
