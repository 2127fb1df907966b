#include "notify/com_objects.h"

#include <cstring>
#include <new>

#include "shared/notification_payload.h"

namespace card::notify {

CPrintOEMAsyncNotifyDataObject::CPrintOEMAsyncNotifyDataObject(DataObjectRules rules)
    : rules_(rules), status_(rules == DataObjectRules::Server ? E_FAIL : S_OK) {}

CPrintOEMAsyncNotifyDataObject::~CPrintOEMAsyncNotifyDataObject() {
  if (payload_) LocalFree(payload_);
  if (schema_) LocalFree(schema_);
}

CPrintOEMAsyncNotifyDataObject *CPrintOEMAsyncNotifyDataObject::create(const void *payload, DataObjectRules rules) {
  auto *object = new (std::nothrow) CPrintOEMAsyncNotifyDataObject(rules);
  if (!object) return nullptr;
  bool complete = true;
  if (payload) {
    object->payload_ = static_cast<BYTE *>(LocalAlloc(LPTR, kPayloadSize));
    if (object->payload_)
      std::memcpy(object->payload_, payload, kPayloadSize);
    else
      complete = false;
  }
  object->schema_ = static_cast<PrintAsyncNotificationType *>(LocalAlloc(LPTR, sizeof(PrintAsyncNotificationType)));
  if (object->schema_)
    *object->schema_ = kNotificationType;
  else
    complete = false;
  object->size_ = ULONG(kPayloadSize);
  if (rules == DataObjectRules::Server)
    object->status_ = S_OK;
  else if (!complete)
    object->status_ = E_OUTOFMEMORY;
  return object;
}

HRESULT STDMETHODCALLTYPE CPrintOEMAsyncNotifyDataObject::AcquireData(BYTE **ppNotificationData, ULONG *pSize,
                                                                      PrintAsyncNotificationType **ppSchema) {
  if (rules_ == DataObjectRules::Server) {
    if (FAILED(status_)) return status_;
    if (!ppNotificationData || !pSize || !ppSchema) return E_INVALIDARG;
  } else if (!ppNotificationData && !pSize && !ppSchema) {
    return E_INVALIDARG;
  }
  if (ppNotificationData) *ppNotificationData = payload_;
  if (pSize) *pSize = size_;
  if (ppSchema) *ppSchema = schema_;
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CPrintOEMAsyncNotifyDataObject::ReleaseData() {
  // The status is read before the Release that may free the object.
  const HRESULT status = status_;
  Release();
  return status;
}

}  // namespace card::notify
