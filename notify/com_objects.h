// The COM objects both notification modules hand to the spooler: the
// IUnknown part they share, and the data object that carries one payload.
// The spooler calls them on its own threads, so reference counts change only
// by interlocked operations.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <prnasnot.h>
#include <prnasntp.h>

namespace card::notify {

template <typename Interface>
const IID &interfaceId();
template <>
inline const IID &interfaceId<IPrintAsyncNotifyCallback>() {
  return IID_IPrintAsyncNotifyCallback;
}
template <>
inline const IID &interfaceId<IPrintAsyncNotifyDataObject>() {
  return IID_IPrintAsyncNotifyDataObject;
}

// IUnknown for an object implementing one interface: QueryInterface answers
// IUnknown and that interface; the count starts at 1 and the object deletes
// itself when it drops to zero.
template <typename Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, interfaceId<Interface>())) {
      *ppv = static_cast<Interface *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return ULONG(left);
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject &) = delete;
  ComObject &operator=(const ComObject &) = delete;

 private:
  LONG volatile refs_ = 1;
};

// How the two modules' data objects differ.
enum class DataObjectRules {
  // The server's: the status is E_FAIL while the object is filled and S_OK
  // after, even when a block could not be allocated (that block is then
  // handed out as null); AcquireData wants all three out pointers.
  Server,
  // The tray program's (its acknowledgement): a block that cannot be
  // allocated makes the status E_OUTOFMEMORY; AcquireData fills whichever out
  // pointers it gets and refuses only when it gets none.
  Tray,
};

// Carries one payload: a zero-filled copy of kPayloadSize bytes (or none)
// and the notification type as its schema, both in local memory.
class CPrintOEMAsyncNotifyDataObject final : public ComObject<IPrintAsyncNotifyDataObject> {
 public:
  // A new object with a count of 1 holding a copy of `payload` (which may be
  // null), or null when the object itself cannot be allocated.
  static CPrintOEMAsyncNotifyDataObject *create(const void *payload, DataObjectRules rules);

  HRESULT STDMETHODCALLTYPE AcquireData(BYTE **ppNotificationData, ULONG *pSize,
                                        PrintAsyncNotificationType **ppSchema) override;
  HRESULT STDMETHODCALLTYPE ReleaseData() override;

  HRESULT status() const { return status_; }

 private:
  explicit CPrintOEMAsyncNotifyDataObject(DataObjectRules rules);
  ~CPrintOEMAsyncNotifyDataObject() override;

  const DataObjectRules rules_;
  HRESULT status_;
  BYTE *payload_ = nullptr;
  ULONG size_ = 0;
  PrintAsyncNotificationType *schema_ = nullptr;
};

// HRESULT_CODE of a channel call's result: the spooler reports some outcomes
// (NO_LISTENERS, CHANNEL_ACQUIRED ...) as PrintAsyncNotifyError codes.
inline bool hasNotifyCode(HRESULT hr, PrintAsyncNotifyError code) { return HRESULT_CODE(hr) == int(code); }

// One reference to a COM object, given back when the holder goes: also when
// the thread is ended while it waits (the spooler stopping, the process
// ending), so that nothing the module made outlives it.
template <typename T>
class ComReference {
 public:
  explicit ComReference(T *object) : object_(object) {}
  ~ComReference() {
    if (object_) object_->Release();
  }
  ComReference(const ComReference &) = delete;
  ComReference &operator=(const ComReference &) = delete;

  T *get() const { return object_; }
  T *operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T *object_;
};

}  // namespace card::notify
