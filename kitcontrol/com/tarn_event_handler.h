// CTarnEventHandler: relays the events of a control object to a client's ITarnEvents
// implementation, for clients that cannot host a connection-point sink themselves.
#pragma once
#include "TarnControl_h.h"
#include "lumivex/atl.h"

class CTarnEventHandler : public IDispatchImpl<ITarnEventHandler, &IID_ITarnEventHandler>,
                          public ITarnEvents,
                          public CComObjectRootEx {
public:
    IUnknown* GetUnknown() { return static_cast<ITarnEventHandler*>(this); }
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv);
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease();

    STDMETHOD(HookEvent)(IUnknown* pSource, IUnknown* pHandler) override;
    STDMETHOD(UnhookEvent)(IUnknown* pSource) override;

    STDMETHOD(OnTarnEvent)(TarnEvent_t event, ULONG param) override;
    STDMETHOD(OnTarnError)(TarnErrorCause_t cause) override;
    STDMETHOD(OnTarnMessage)(BSTR message) override;

private:
    void Unhook();

    CComPtr<ITarnEvents> handler_;
    CComPtr<IConnectionPoint> point_;  // of the hooked source, while hooked
    DWORD cookie_ = 0;
};
