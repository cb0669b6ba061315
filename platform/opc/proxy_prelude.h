/* Forced into the generated proxy sources: the IUnknown proxy routines that widl's code calls,
 * which mingw's unknwn.h declares only for C++. */
#pragma once
#include <rpc.h>
#include <rpcndr.h>
#include <unknwn.h>
#ifndef __cplusplus
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppvObject);
void __RPC_STUB IUnknown_QueryInterface_Stub(IRpcStubBuffer *This, IRpcChannelBuffer *pRpcChannelBuffer,
                                             PRPC_MESSAGE pRpcMessage, DWORD *pdwStubPhase);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
void __RPC_STUB IUnknown_AddRef_Stub(IRpcStubBuffer *This, IRpcChannelBuffer *pRpcChannelBuffer,
                                     PRPC_MESSAGE pRpcMessage, DWORD *pdwStubPhase);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);
void __RPC_STUB IUnknown_Release_Stub(IRpcStubBuffer *This, IRpcChannelBuffer *pRpcChannelBuffer,
                                      PRPC_MESSAGE pRpcMessage, DWORD *pdwStubPhase);
#endif
