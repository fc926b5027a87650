// The companion services of the profile component: settings, stored variables,
// notification and change notification sink. They live in liblumora-services.so and are
// created by class identifier (CoCreateInstance, context 5); each interface is dual, with
// its operations after the seven IUnknown/IDispatch slots in the order declared here.
// Data is kept under $LUMORA_HOME and shared safely between processes.
#ifndef LUMORA_SERVICES_H_
#define LUMORA_SERVICES_H_

#include "lumora/automation.h"
#include "lumora/com_ptr.h"

// Settings: machine-wide strings named by a 32-bit identifier.
struct ILumoraSettings : IDispatch {
  virtual HRESULT HasSetting(LONG id, VARIANT_BOOL* exists) = 0;
  virtual HRESULT DeleteSetting(LONG id) = 0;
  // HRESULT_FROM_WIN32(ERROR_NOT_FOUND) for a setting never stored; *value unchanged then.
  virtual HRESULT GetSetting(LONG id, BSTR* value) = 0;
  virtual HRESULT PutSetting(LONG id, BSTR value) = 0;
};

// Stored variables: component -> variable -> typed value. `perUser` selects the calling
// user's own variables instead of the machine-wide ones. Reading a variable that does not
// exist gives HRESULT_FROM_WIN32(ERROR_NOT_FOUND); reading it as another type gives
// DISP_E_TYPEMISMATCH.
struct ILumoraStoredVariables : IDispatch {
  virtual HRESULT SetStringVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR value) = 0;
  virtual HRESULT GetStringVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR* value) = 0;
  virtual HRESULT SetLongVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, LONG value) = 0;
  virtual HRESULT GetLongVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, LONG* value) = 0;
  virtual HRESULT SetBoolVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, VARIANT_BOOL value) = 0;
  virtual HRESULT GetBoolVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, VARIANT_BOOL* value) = 0;
  // The blob is the first `byteCount` bytes of the byte string `data`.
  virtual HRESULT SetBlobVariable(BSTR component, BSTR variable, LONG byteCount, VARIANT_BOOL perUser, BSTR data) = 0;
  virtual HRESULT GetBlobVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR* data) = 0;
  // Names of the component's variables, as an array of strings.
  virtual HRESULT GetVariableCollection(BSTR component, VARIANT_BOOL perUser, VARIANT* names) = 0;
  // Names of the components that hold variables (all of them for an empty `component`,
  // else that one if it exists), as an array of strings.
  virtual HRESULT GetComponentCollection(BSTR component, VARIANT_BOOL perUser, VARIANT* names) = 0;
  virtual HRESULT DeleteVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser) = 0;
  virtual HRESULT DeleteComponent(BSTR component, VARIANT_BOOL perUser) = 0;
};

// Notification: notices for the user and records of profile changes, kept in order.
// Indexes count from 0; an index out of range gives DISP_E_BADINDEX.
struct ILumoraNotification : IDispatch {
  virtual HRESULT GetNoticeCount(LONG* count) = 0;
  virtual HRESULT GetNoticeTitle(LONG index, BSTR* title) = 0;
  virtual HRESULT GetNoticeText(LONG index, BSTR* text) = 0;
  virtual HRESULT GetNoticeTime(LONG index, DATE* when) = 0;
  virtual HRESULT DeleteNotice(LONG index) = 0;
  virtual HRESULT ClearNotices() = 0;
  virtual HRESULT GetChangeCount(LONG* count) = 0;
  // change: 1 made shared, 2 made private; requester: 2 all-sections object, 1 ordinary
  // client, 0 privileged object.
  virtual HRESULT RecordProfileChange(BSTR fieldName, LONG change, LONG requester) = 0;
  virtual HRESULT GetChangeFieldName(LONG index, BSTR* fieldName) = 0;
  virtual HRESULT GetChangeKind(LONG index, LONG* change) = 0;
  virtual HRESULT GetChangeRequester(LONG index, LONG* requester) = 0;
  virtual HRESULT GetChangeTime(LONG index, DATE* when) = 0;
  virtual HRESULT ClearChanges() = 0;
  virtual HRESULT Reserved14() = 0;  // E_NOTIMPL
  virtual HRESULT Reserved15() = 0;  // E_NOTIMPL
  virtual HRESULT PostNotice(BSTR title, BSTR text) = 0;
};

// Change notification sink: receives, after each write batch, the array of changed ukis.
struct ILumoraChangeSink : IDispatch {
  virtual HRESULT GetBatchCount(LONG* count) = 0;
  virtual HRESULT GetBatchSize(LONG batch, LONG* count) = 0;
  virtual HRESULT GetBatchUki(LONG batch, LONG index, BSTR* uki) = 0;
  virtual HRESULT ClearBatches() = 0;
  virtual HRESULT Reserved12() = 0;  // E_NOTIMPL
  // `ukis` is a one-dimensional array of strings (directly or by reference).
  virtual HRESULT ProfileChanged(VARIANT ukis) = 0;
};

// {7F3A9577-225D-4091-905D-3013E6D34E4D}
inline constexpr CLSID CLSID_LumoraSettings = {
    0x7F3A9577, 0x225D, 0x4091, {0x90, 0x5D, 0x30, 0x13, 0xE6, 0xD3, 0x4E, 0x4D}};
// {0836BD8D-296A-4390-9994-4AEB957C95DE}
inline constexpr IID IID_ILumoraSettings = {
    0x0836BD8D, 0x296A, 0x4390, {0x99, 0x94, 0x4A, 0xEB, 0x95, 0x7C, 0x95, 0xDE}};
// {EFDAD03A-D25F-4FDB-BB7C-46F4433721B9}
inline constexpr CLSID CLSID_LumoraStoredVariables = {
    0xEFDAD03A, 0xD25F, 0x4FDB, {0xBB, 0x7C, 0x46, 0xF4, 0x43, 0x37, 0x21, 0xB9}};
// {2AFF8013-B693-41DE-AD7B-6817E9C908A4}
inline constexpr IID IID_ILumoraStoredVariables = {
    0x2AFF8013, 0xB693, 0x41DE, {0xAD, 0x7B, 0x68, 0x17, 0xE9, 0xC9, 0x08, 0xA4}};
// {B2C040F8-C08E-41F4-8DE6-A435DE1D5D8D}
inline constexpr CLSID CLSID_LumoraNotification = {
    0xB2C040F8, 0xC08E, 0x41F4, {0x8D, 0xE6, 0xA4, 0x35, 0xDE, 0x1D, 0x5D, 0x8D}};
// {C0B5196F-96BC-42CA-8606-02F7657C4ADA}
inline constexpr IID IID_ILumoraNotification = {
    0xC0B5196F, 0x96BC, 0x42CA, {0x86, 0x06, 0x02, 0xF7, 0x65, 0x7C, 0x4A, 0xDA}};
// {6609D1FF-FBCC-4320-9E18-AEEDCE096EE6}
inline constexpr CLSID CLSID_LumoraChangeSink = {
    0x6609D1FF, 0xFBCC, 0x4320, {0x9E, 0x18, 0xAE, 0xED, 0xCE, 0x09, 0x6E, 0xE6}};
// {52245A02-0B9D-4D0B-9F00-43B9FA42B3E6}
inline constexpr IID IID_ILumoraChangeSink = {
    0x52245A02, 0x0B9D, 0x4D0B, {0x9F, 0x00, 0x43, 0xB9, 0xFA, 0x42, 0xB3, 0xE6}};

LUMORA_INTERFACE_ID(ILumoraSettings, IID_ILumoraSettings)
LUMORA_INTERFACE_ID(ILumoraStoredVariables, IID_ILumoraStoredVariables)
LUMORA_INTERFACE_ID(ILumoraNotification, IID_ILumoraNotification)
LUMORA_INTERFACE_ID(ILumoraChangeSink, IID_ILumoraChangeSink)

// The class context the component creates services with: in-process or local server.
inline constexpr DWORD kServiceContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

#endif  // LUMORA_SERVICES_H_
