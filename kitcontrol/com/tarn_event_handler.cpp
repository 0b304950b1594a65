#include "tarn_event_handler.h"

namespace {
constexpr HRESULT kNoHandler = static_cast<HRESULT>(0x80000001);
}

HRESULT CTarnEventHandler::_InternalQueryInterface(REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_ITarnEventHandler) || IsEqualIID(iid, IID_IDispatch))
        *ppv = static_cast<ITarnEventHandler*>(this);
    else if (IsEqualIID(iid, IID_ITarnEvents))
        *ppv = static_cast<ITarnEvents*>(this);
    return *ppv ? S_OK : E_NOINTERFACE;
}

void CTarnEventHandler::FinalRelease() { Unhook(); }

void CTarnEventHandler::Unhook() {
    if (point_) {
        CComPtr<IConnectionPoint> p = point_;
        point_.Release();
        p->Unadvise(cookie_);
    }
    cookie_ = 0;
}

STDMETHODIMP CTarnEventHandler::HookEvent(IUnknown* pSource, IUnknown* pHandler) {
    if (!pSource || !pHandler) return E_POINTER;
    CComPtr<ITarnEventSource> source;
    HRESULT hr = pSource->QueryInterface(IID_ITarnEventSource, reinterpret_cast<void**>(&source));
    if (FAILED(hr)) return hr;
    CComPtr<ITarnEvents> handler;
    hr = pHandler->QueryInterface(IID_ITarnEvents, reinterpret_cast<void**>(&handler));
    if (FAILED(hr)) return hr;
    CComPtr<IConnectionPointContainer> container;
    hr = pSource->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    if (FAILED(hr)) return hr;
    CComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(IID_ITarnEvents, &point);
    if (FAILED(hr)) return hr;
    // One connection at a time: a second hook replaces the first instead of doubling every event.
    Unhook();
    handler_ = handler;
    DWORD cookie = 0;
    hr = point->Advise(static_cast<ITarnEvents*>(this), &cookie);
    if (FAILED(hr)) return hr;
    point_ = point;
    cookie_ = cookie;
    return S_OK;
}

STDMETHODIMP CTarnEventHandler::UnhookEvent(IUnknown* pSource) {
    if (!pSource) return E_POINTER;
    CComPtr<ITarnEventSource> source;
    HRESULT hr = pSource->QueryInterface(IID_ITarnEventSource, reinterpret_cast<void**>(&source));
    if (FAILED(hr)) return hr;
    Unhook();
    return S_OK;
}

STDMETHODIMP CTarnEventHandler::OnTarnEvent(TarnEvent_t event, ULONG param) {
    return handler_ ? handler_->OnTarnEvent(event, param) : kNoHandler;
}

STDMETHODIMP CTarnEventHandler::OnTarnError(TarnErrorCause_t cause) {
    return handler_ ? handler_->OnTarnError(cause) : kNoHandler;
}

// Passed on as it came: the string stays the caller's.
STDMETHODIMP CTarnEventHandler::OnTarnMessage(BSTR message) {
    return handler_ ? handler_->OnTarnMessage(message) : kNoHandler;
}
