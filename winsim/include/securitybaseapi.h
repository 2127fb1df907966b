// securitybaseapi.h for the linux flavour: the security identifier and access
// control list helpers of advapi32 that winbase.h brings in, as in the SDK.
#pragma once

#include <minwindef.h>
#include <minwinbase.h>
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
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                                    DWORD dwRevision);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                                 BOOL bDaclPresent, PACL pDacl, BOOL bDaclDefaulted);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess,
                                                        LPSECURITY_ATTRIBUTES lpTokenAttributes,
                                                        SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                                                        TOKEN_TYPE TokenType, PHANDLE phNewToken);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetTokenInformation(HANDLE TokenHandle,
                                                           TOKEN_INFORMATION_CLASS TokenInformationClass,
                                                           LPVOID TokenInformation, DWORD TokenInformationLength,
                                                           PDWORD ReturnLength);
