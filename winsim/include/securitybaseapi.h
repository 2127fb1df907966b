// securitybaseapi.h for the linux flavour: the security identifier and access
// control list helpers of advapi32 that winbase.h brings in, as in the SDK.
#pragma once

#include <minwindef.h>
#include "winsim/export.h"

WINSIM_EXTERN_C WINSIM_API BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                                                BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                                                DWORD nSubAuthority1, DWORD nSubAuthority2,
                                                                DWORD nSubAuthority3, DWORD nSubAuthority4,
                                                                DWORD nSubAuthority5, DWORD nSubAuthority6,
                                                                DWORD nSubAuthority7, PSID *pSid);
WINSIM_EXTERN_C WINSIM_API PVOID WINAPI FreeSid(PSID pSid);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI IsValidSid(PSID pSid);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetLengthSid(PSID pSid);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID *pAce);
