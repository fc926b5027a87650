// The dispatch tables of the public library QuenProfileLib and the private library
// PRPROFPrivateLib, one row per member in slot order, with the help texts clients see.
#include "catalogue.h"

namespace lumora {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr VARTYPE kNone = VT_EMPTY;

}  // namespace

std::span<const DispEntry> DispatchTable<IPRProfile>::Get() {
  using I = IPRProfile;
  static constexpr DispEntry kTable[] = {
      Disp<&I::AddReadRequest, kNone, VT_BSTR>(kDispidAddReadRequest, "AddReadRequest", kMethod,
                                               "Add request to read a profile variable specified by uki."),
      Disp<&I::ExecuteReadRequests, VT_DISPATCH, VT_I4, VT_BSTR>(
          kDispidExecuteReadRequests, "ExecuteReadRequests", kMethod,
          "Read all queued requests, and return them as a collection."),
      Disp<&I::AddModifyRawValueRequest, kNone, VT_BSTR, VT_BSTR>(
          kDispidAddModifyRawValueRequest, "AddModifyRawValueRequest", kMethod,
          "Add request to modify a profile variable's raw value."),
      Disp<&I::AddCreateKeyRequest, kNone, VT_BSTR, VT_I4, VT_BSTR, VT_I4, VT_I4, VT_BSTR, VT_BOOL, kVariantRef>(
          kDispidAddCreateKeyRequest, "AddCreateKeyRequest", kMethod,
          "Add request to create a new profile variable using RawValue."),
      Disp<&I::AddCreateLinkKeyRequest, kNone, VT_BSTR, VT_BSTR>(
          kDispidAddCreateLinkKeyRequest, "AddCreateLinkKeyRequest", kMethod,
          "Add request to create a new profile link to an existing profile variable specified by ukiSrc."),
      Disp<&I::AddDeleteKeyRequest, kNone, VT_BSTR>(kDispidAddDeleteKeyRequest, "AddDeleteKeyRequest", kMethod,
                                                    "Add request to delete a profile variable."),
      Disp<&I::ExecuteWriteRequests, VT_I4, VT_I4, VT_BSTR>(
          kDispidExecuteWriteRequests, "ExecuteWriteRequests", kMethod,
          "Do all the queued write requests (as a single transaction). Returns the number of requests successfully "
          "executed."),
      Disp<&I::GrantSectionAccess, kNone, VT_BSTR>(
          kDispidGrantSectionAccess, "GrantSectionAccess", kMethod,
          "Gain access to the profile section specified by reverseDomainName. You must be signed with a digital "
          "signature that gives you permission to access that section."),
      Disp<&I::AddCreateKeyRequest2, kNone, VT_BSTR, VT_I4, kVariantRef, VT_I4, VT_I4, VT_BSTR, VT_BOOL, kVariantRef>(
          kDispidAddCreateKeyRequest2, "AddCreateKeyRequest2", kMethod,
          "Add request to create a new profile variable using Variant"),
      Disp<&I::AddModifyValueRequest, kNone, VT_BSTR, kVariantRef>(kDispidAddModifyValueRequest,
                                                                   "AddModifyValueRequest", kMethod,
                                                                   "Add request to modify a profile variable's value."),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRKeyAttrsCollection>::Get() {
  using I = IPRKeyAttrsCollection;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Count, VT_I4>(kDispidCount, "Count", kGet,
                                 "Returns the number of profile variables in this collection"),
      Disp<&I::GetArray, VT_DISPATCH, VT_BSTR>(kDispidGetArray, "GetArray", kMethod,
                                               "Get array collection for the array profile variable specified by uki"),
      Disp<&I::Exists, VT_BOOL, VT_VARIANT>(kDispidExists, "Exists", kMethod, "Returns whether a key exists"),
      Disp<&I::get__NewEnum, VT_UNKNOWN>(kDispidNewEnum, "_NewEnum", kGet),
      Disp<&I::Item, VT_VARIANT, VT_VARIANT>(kDispidItem, "Item", kMethod,
                                             "Returns a profile variable object either by position or uki."),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRKeyAttr>::Get() {
  using I = IPRKeyAttr;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Value, VT_VARIANT>(kDispidValue, "Value", kGet),
      Disp<&I::get_Type, VT_I4>(kDispidType, "Type", kGet),
      Disp<&I::get_IsValueSet, VT_BOOL>(kDispidIsValueSet, "IsValueSet", kGet,
                                        "Has the value for this key been set yet?"),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRArrayItemsCollection>::Get() {
  using I = IPRArrayItemsCollection;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Count, VT_I4>(kDispidCount, "Count", kGet, "Returns the number of array items in this collection"),
      Disp<&I::get__NewEnum, VT_UNKNOWN>(kDispidNewEnum, "_NewEnum", kGet),
      Disp<&I::Item, VT_VARIANT, VT_VARIANT>(kDispidItem, "Item", kMethod,
                                             "Returns an array item either by position or key."),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRArrayItem>::Get() {
  using I = IPRArrayItem;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Value, VT_BSTR>(kDispidValue, "Value", kGet),
      Disp<&I::get_Index, VT_BSTR>(kDispidIndex, "Index", kGet, "property Index"),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRScratchItemsCollection>::Get() {
  using I = IPRScratchItemsCollection;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Count, VT_I4>(kDispidCount, "Count", kGet,
                                 "Returns the number of scratch variables in this collection"),
      Disp<&I::CreateKey, kNone, VT_BSTR, VT_BSTR>(kDispidCreateKey, "CreateKey", kMethod,
                                                   "Creates a scratch variable"),
      Disp<&I::DeleteKey, kNone, VT_BSTR>(kDispidDeleteKey, "DeleteKey", kMethod, "Deletes a scratch variable"),
      Disp<&I::DeleteAllKeys, kNone>(kDispidDeleteAllKeys, "DeleteAllKeys", kMethod,
                                     "Deletes all scratch variables in this scratch area."),
      Disp<&I::Item, VT_VARIANT, VT_VARIANT>(kDispidItem, "Item", kMethod,
                                             "Returns a scratch variable either by position or uki."),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRScratchItem>::Get() {
  using I = IPRScratchItem;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Value, VT_BSTR>(kDispidValue, "Value", kGet),
      Disp<&I::put_Value, kNone, VT_BSTR>(kDispidValue, "Value", kPut),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRProfileSuperUser>::Get() {
  using I = IPRProfileSuperUser;
  static constexpr DispEntry kTable[] = {
      Disp<&I::AddReadRequest, kNone, VT_BSTR>(1, "AddReadRequest"),
      Disp<&I::ExecuteReadRequests, VT_DISPATCH, VT_I4, VT_BSTR>(2, "ExecuteReadRequests"),
      Disp<&I::AddModifyRawValueRequest, kNone, VT_BSTR, VT_BSTR>(3, "AddModifyRawValueRequest"),
      Disp<&I::AddCreateKeyRequest, kNone, VT_BSTR, VT_I4, VT_BSTR, VT_I4, VT_I4, VT_BSTR, VT_BOOL, kVariantRef>(
          4, "AddCreateKeyRequest"),
      Disp<&I::AddCreateLinkKeyRequest, kNone, VT_BSTR, VT_BSTR>(5, "AddCreateLinkKeyRequest"),
      Disp<&I::AddDeleteKeyRequest, kNone, VT_BSTR>(6, "AddDeleteKeyRequest"),
      Disp<&I::ExecuteWriteRequests, VT_I4, VT_I4, VT_BSTR>(7, "ExecuteWriteRequests"),
      Disp<&I::GrantSectionAccess, kNone, VT_BSTR>(8, "GrantSectionAccess"),
      Disp<&I::AddCreateKeyRequest2, kNone, VT_BSTR, VT_I4, kVariantRef, VT_I4, VT_I4, VT_BSTR, VT_BOOL, kVariantRef>(
          9, "AddCreateKeyRequest2"),
      Disp<&I::AddModifyValueRequest, kNone, VT_BSTR, kVariantRef>(10, "AddModifyValueRequest"),
      Disp<&I::AddReadRequest2, kNone, VT_BSTR, VT_BOOL>(11, "AddReadRequest2"),
      Disp<&I::AddModifyPrivacyRequest, kNone, VT_BSTR, VT_I4>(12, "AddModifyPrivacyRequest"),
      Disp<&I::AddCreateNullKeyRequest, kNone, VT_BSTR, VT_I4, VT_I4, VT_I4, VT_BSTR, VT_BOOL, kVariantRef>(
          13, "AddCreateNullKeyRequest"),
      Disp<&I::UnderAuthenticate, VT_DISPATCH, VT_BSTR, VT_BSTR, VT_BOOL>(14, "UnderAuthenticate"),
      Disp<&I::Reserved1, kNone, VT_I4, VT_I4, VT_I4, VT_I4>(15, "Reserved1"),
      Disp<&I::Reserved2, kNone, VT_I4, VT_I4, VT_I4>(16, "Reserved2"),
      Disp<&I::ExecuteReadAllKeysInSection, VT_DISPATCH, VT_BSTR>(17, "ExecuteReadAllKeysInSection"),
      Disp<&I::UnderAuthenticateForScratch, VT_DISPATCH, VT_BSTR>(18, "UnderAuthenticateForScratch"),
      Disp<&I::AddLinkRequest, kNone, VT_BSTR, VT_BOOL>(19, "AddLinkRequest"),
      Disp<&I::Reserved3, kNone, VT_I4, VT_I4>(20, "Reserved3"),
      Disp<&I::ResetPassword, kNone>(21, "ResetPassword"),
      Disp<&I::CloseStore, kNone>(22, "CloseStore"),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRSuperKeyAttr>::Get() {
  using I = IPRSuperKeyAttr;
  static constexpr DispEntry kTable[] = {
      Disp<&I::get_Value, VT_VARIANT>(kDispidValue, "Value", kGet),
      Disp<&I::get_Type, VT_I4>(kDispidType, "Type", kGet),
      Disp<&I::get_IsValueSet, VT_BOOL>(kDispidIsValueSet, "IsValueSet", kGet),
      Disp<&I::get_Volatility, VT_I4>(3, "Volatility", kGet),
      Disp<&I::get_Privacy, VT_I4>(4, "Privacy", kGet),
      Disp<&I::get_FieldName, VT_BSTR>(5, "FieldName", kGet),
      Disp<&I::get_IsReadOnly, VT_BOOL>(6, "IsReadOnly", kGet),
      Disp<&I::get_EnumOptions, VT_VARIANT>(7, "EnumOptions", kGet),
      Disp<&I::get_DisplayValue, VT_BSTR>(8, "DisplayValue", kGet),
      Disp<&I::get_Uki, VT_BSTR>(9, "Uki", kGet),
      Disp<&I::get_IsLinked, VT_BOOL>(10, "IsLinked", kGet),
      Disp<&I::get_LinkSource, VT_BSTR>(11, "LinkSource", kGet),
      Disp<&I::get_LastShared, VT_DATE>(12, "LastShared", kGet),
      Disp<&I::get_RawValue, VT_BSTR>(13, "RawValue", kGet),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRProfileSuperKeyAuth>::Get() {
  using I = IPRProfileSuperKeyAuth;
  static constexpr DispEntry kTable[] = {
      Disp<&I::GetProfileSuper, VT_DISPATCH, VT_BSTR>(1, "GetProfileSuper"),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRGetAccessKey>::Get() {
  using I = IPRGetAccessKey;
  static constexpr DispEntry kTable[] = {
      Disp<&I::GetKey, VT_BSTR>(1, "GetKey"),
  };
  return kTable;
}

std::span<const DispEntry> DispatchTable<IPRProfileCertificateManagement>::Get() {
  using I = IPRProfileCertificateManagement;
  static constexpr DispEntry kTable[] = {
      Disp<&I::AddCertificate, kNone, VT_BSTR, VT_I4, VT_BSTR>(1, "AddCertificate"),
      Disp<&I::DeleteCertificate, kNone, VT_BSTR, VT_I4, VT_BSTR>(2, "DeleteCertificate"),
      Disp<&I::RevokeCertificate, kNone, VT_BSTR, VT_I4, VT_BSTR>(3, "RevokeCertificate"),
      Disp<&I::GetCertificate, VT_BSTR, VT_BSTR, VT_I4, VT_I4>(4, "GetCertificate"),
      Disp<&I::CheckCertificate, kNone, VT_BSTR, VT_I4, VT_BOOL, VT_BSTR>(5, "CheckCertificate"),
  };
  return kTable;
}

}  // namespace lumora
