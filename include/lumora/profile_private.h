// The private library PRPROFPrivateLib: the privileged objects that administration tools
// and the product's own programs use. PRProfileSuperUser reads whole sections, queues
// privileged requests, opens scratch areas and resets the store password; it exists only
// for a program whose signing certificate is registered for the root section "/", or one
// that traded an access key. PRGetAccessKey hands such a program a random access key;
// PRProfileSuperKeyAuth trades that key for a super user. PRProfileCertificateManagement
// registers, deletes and revokes the certificates that open each section. Every interface
// is dual; dispatch identifiers equal slot positions from 1, except that the key
// attribute's first three properties share the identifiers of IPRKeyAttr (Value is the
// default member). A certificate travels as a BSTR whose bytes are a certificate record
// (32-bit length, revision 0x0200, type 2, PKCS #7 data), its byte length the string's.
#ifndef LUMORA_PROFILE_PRIVATE_H_
#define LUMORA_PROFILE_PRIVATE_H_

#include "lumora/profile.h"

// The privileged counterpart of PRProfile (class PRProfileSuperUser, not aggregatable).
struct IPRProfileSuperUser : IDispatch {
  // Queues a read of a variable of any section.
  virtual HRESULT AddReadRequest(BSTR uki) = 0;
  // Reads the queued variables without asking (hwnd -1) or with the consent dialog; the
  // items of the collection are PRSuperKeyAttr objects.
  virtual HRESULT ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection) = 0;
  virtual HRESULT AddModifyRawValueRequest(BSTR uki, BSTR newRawValue) = 0;
  virtual HRESULT AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility,
                                      EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                      VARIANT* enumOptions) = 0;
  virtual HRESULT AddCreateLinkKeyRequest(BSTR uki, BSTR ukiSrc) = 0;
  virtual HRESULT AddDeleteKeyRequest(BSTR uki) = 0;
  virtual HRESULT ExecuteWriteRequests(LONG hwnd, BSTR message, LONG* result) = 0;
  // Does nothing: the super user already has every section.
  virtual HRESULT GrantSectionAccess(BSTR reverseDomainName) = 0;
  virtual HRESULT AddCreateKeyRequest2(BSTR uki, EProfileDataType Type, VARIANT* Value, EVolatility volatility,
                                       EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                       VARIANT* enumOptions) = 0;
  virtual HRESULT AddModifyValueRequest(BSTR uki, VARIANT* newValue) = 0;
  // Queues a read; with markShared VARIANT_TRUE a successful read also records the time
  // the variable was last shared.
  virtual HRESULT AddReadRequest2(BSTR uki, VARIANT_BOOL markShared) = 0;
  virtual HRESULT AddModifyPrivacyRequest(BSTR uki, EPrivacy privacy) = 0;
  // Queues the creation of a variable without a value.
  virtual HRESULT AddCreateNullKeyRequest(BSTR uki, EProfileDataType Type, EVolatility volatility, EPrivacy privacy,
                                          BSTR fieldName, VARIANT_BOOL isreadonly, VARIANT* enumOptions) = 0;
  // A new session for the named section: for the program at executablePath (or the
  // calling program when it is empty) when its certificate is registered for the
  // section, or without any check when trusted is VARIANT_TRUE.
  virtual HRESULT UnderAuthenticate(BSTR reverseDomainName, BSTR executablePath, VARIANT_BOOL trusted,
                                    IPRProfile** ppProfile) = 0;
  virtual HRESULT Reserved1(LONG a, LONG b, LONG c, LONG d) = 0;  // E_NOTIMPL
  virtual HRESULT Reserved2(LONG a, LONG b, LONG c) = 0;          // E_NOTIMPL
  // Every variable of a section, without any dialog.
  virtual HRESULT ExecuteReadAllKeysInSection(BSTR reverseDomainName, IPRKeyAttrsCollection** ppCollection) = 0;
  // The section's scratch area.
  virtual HRESULT UnderAuthenticateForScratch(BSTR reverseDomainName, IPRScratchItemsCollection** ppScratch) = 0;
  // Queues switching the link of a section's copy of a common variable on or off.
  virtual HRESULT AddLinkRequest(BSTR uki, VARIANT_BOOL link) = 0;
  virtual HRESULT Reserved3(LONG a, LONG b) = 0;  // E_NOTIMPL
  // Takes the password off the database file and forgets it; the next process to open the
  // store makes a new one. Values protected under the old password are lost.
  virtual HRESULT ResetPassword() = 0;
  // Closes the process's database; the next operation that needs it opens it again.
  virtual HRESULT CloseStore() = 0;

 protected:
  ~IPRProfileSuperUser() = default;
};

// A variable with every column of its row, as a privileged read hands it out.
struct IPRSuperKeyAttr : IDispatch {
  virtual HRESULT get_Value(VARIANT* pVal) = 0;
  virtual HRESULT get_Type(EProfileDataType* pVal) = 0;
  virtual HRESULT get_IsValueSet(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT get_Volatility(EVolatility* pVal) = 0;
  virtual HRESULT get_Privacy(EPrivacy* pVal) = 0;
  virtual HRESULT get_FieldName(BSTR* pVal) = 0;
  virtual HRESULT get_IsReadOnly(VARIANT_BOOL* pVal) = 0;
  // The labels of an enumeration, as an array of strings (eErrorProfileTypeMismatch for
  // any other type).
  virtual HRESULT get_EnumOptions(VARIANT* pVal) = 0;
  virtual HRESULT get_DisplayValue(BSTR* pVal) = 0;
  virtual HRESULT get_Uki(BSTR* pVal) = 0;
  virtual HRESULT get_IsLinked(VARIANT_BOOL* pVal) = 0;
  // The uki of the variable a link reads from (E_FAIL for a variable that is no link).
  virtual HRESULT get_LinkSource(BSTR* pVal) = 0;
  virtual HRESULT get_LastShared(DATE* pVal) = 0;
  virtual HRESULT get_RawValue(BSTR* pVal) = 0;

 protected:
  ~IPRSuperKeyAttr() = default;
};

// Trades an access key for a super user.
struct IPRProfileSuperKeyAuth : IDispatch {
  virtual HRESULT GetProfileSuper(BSTR key, IPRProfileSuperUser** ppSuperUser) = 0;

 protected:
  ~IPRProfileSuperKeyAuth() = default;
};

// Hands a fresh access key to a program registered for the root section "/".
struct IPRGetAccessKey : IDispatch {
  virtual HRESULT GetKey(BSTR* key) = 0;

 protected:
  ~IPRGetAccessKey() = default;
};

// The certificates registered for each section: usage class 0 opens the section, class 1
// is kept for other uses. Rows of one section and class are numbered from 0 without gaps.
struct IPRProfileCertificateManagement : IDispatch {
  virtual HRESULT AddCertificate(BSTR section, LONG usage, BSTR certificate) = 0;
  virtual HRESULT DeleteCertificate(BSTR section, LONG usage, BSTR certificate) = 0;
  virtual HRESULT RevokeCertificate(BSTR section, LONG usage, BSTR certificate) = 0;
  virtual HRESULT GetCertificate(BSTR section, LONG usage, LONG sequence, BSTR* certificate) = 0;
  virtual HRESULT CheckCertificate(BSTR section, LONG usage, VARIANT_BOOL checkTime, BSTR certificate) = 0;

 protected:
  ~IPRProfileCertificateManagement() = default;
};

// {87963B20-F845-40C6-8DF8-DE1213227B2D}
inline constexpr GUID LIBID_PRPROFPrivateLib = {
    0x87963B20, 0xF845, 0x40C6, {0x8D, 0xF8, 0xDE, 0x12, 0x13, 0x22, 0x7B, 0x2D}};
// {D6B24F6B-68A3-41FA-958A-4DE552A2B6CA}
inline constexpr CLSID CLSID_PRProfileSuperUser = {
    0xD6B24F6B, 0x68A3, 0x41FA, {0x95, 0x8A, 0x4D, 0xE5, 0x52, 0xA2, 0xB6, 0xCA}};
// {68812184-65BA-4FC4-9BE8-DD496BC1CF14}
inline constexpr IID IID_IPRProfileSuperUser = {
    0x68812184, 0x65BA, 0x4FC4, {0x9B, 0xE8, 0xDD, 0x49, 0x6B, 0xC1, 0xCF, 0x14}};
// {92BC1B7C-953B-465E-82D6-BF910EE65E5D}
inline constexpr CLSID CLSID_PRSuperKeyAttr = {
    0x92BC1B7C, 0x953B, 0x465E, {0x82, 0xD6, 0xBF, 0x91, 0x0E, 0xE6, 0x5E, 0x5D}};
// {E08F80FA-728F-44A0-A85F-8FDC3F424279}
inline constexpr IID IID_IPRSuperKeyAttr = {
    0xE08F80FA, 0x728F, 0x44A0, {0xA8, 0x5F, 0x8F, 0xDC, 0x3F, 0x42, 0x42, 0x79}};
// {A9E91CBE-AEDF-4B4F-BAD2-94623249ADE2}
inline constexpr CLSID CLSID_PRProfileSuperKeyAuth = {
    0xA9E91CBE, 0xAEDF, 0x4B4F, {0xBA, 0xD2, 0x94, 0x62, 0x32, 0x49, 0xAD, 0xE2}};
// {29BE72E8-5905-42AA-877A-4F68B137B106}
inline constexpr IID IID_IPRProfileSuperKeyAuth = {
    0x29BE72E8, 0x5905, 0x42AA, {0x87, 0x7A, 0x4F, 0x68, 0xB1, 0x37, 0xB1, 0x06}};
// {A67AB305-1218-41FA-A9B4-A9B136C71B6C}
inline constexpr CLSID CLSID_PRGetAccessKey = {
    0xA67AB305, 0x1218, 0x41FA, {0xA9, 0xB4, 0xA9, 0xB1, 0x36, 0xC7, 0x1B, 0x6C}};
// {A44DB495-E0BF-4909-98BD-D60F00C8C3DC}
inline constexpr IID IID_IPRGetAccessKey = {
    0xA44DB495, 0xE0BF, 0x4909, {0x98, 0xBD, 0xD6, 0x0F, 0x00, 0xC8, 0xC3, 0xDC}};
// {A7DCFE9E-55D6-4CCB-98F6-C4DA8515B83B}
inline constexpr CLSID CLSID_PRProfileCertificateManagement = {
    0xA7DCFE9E, 0x55D6, 0x4CCB, {0x98, 0xF6, 0xC4, 0xDA, 0x85, 0x15, 0xB8, 0x3B}};
// {A49A94ED-B7C9-434A-847C-2523FB305C95}
inline constexpr IID IID_IPRProfileCertificateManagement = {
    0xA49A94ED, 0xB7C9, 0x434A, {0x84, 0x7C, 0x25, 0x23, 0xFB, 0x30, 0x5C, 0x95}};

LUMORA_INTERFACE_ID(IPRProfileSuperUser, IID_IPRProfileSuperUser)
LUMORA_INTERFACE_ID(IPRSuperKeyAttr, IID_IPRSuperKeyAttr)
LUMORA_INTERFACE_ID(IPRProfileSuperKeyAuth, IID_IPRProfileSuperKeyAuth)
LUMORA_INTERFACE_ID(IPRGetAccessKey, IID_IPRGetAccessKey)
LUMORA_INTERFACE_ID(IPRProfileCertificateManagement, IID_IPRProfileCertificateManagement)

#endif  // LUMORA_PROFILE_PRIVATE_H_
