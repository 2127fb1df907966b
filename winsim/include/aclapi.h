// aclapi.h for the linux flavour: reading and changing the security of named
// objects (files on the virtual drive) and building access control lists.
#pragma once

#include <windows.h>
#include <accctrl.h>

WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetNamedSecurityInfoW(LPCWSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                                              SECURITY_INFORMATION SecurityInfo, PSID *ppsidOwner,
                                                              PSID *ppsidGroup, PACL *ppDacl, PACL *ppSacl,
                                                              PSECURITY_DESCRIPTOR *ppSecurityDescriptor);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI SetNamedSecurityInfoW(LPWSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                                              SECURITY_INFORMATION SecurityInfo, PSID psidOwner,
                                                              PSID psidGroup, PACL pDacl, PACL pSacl);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI SetEntriesInAclW(ULONG cCountOfExplicitEntries,
                                                         PEXPLICIT_ACCESS_W pListOfExplicitEntries, PACL OldAcl,
                                                         PACL *NewAcl);
#define GetNamedSecurityInfo GetNamedSecurityInfoW
#define SetNamedSecurityInfo SetNamedSecurityInfoW
#define SetEntriesInAcl SetEntriesInAclW
