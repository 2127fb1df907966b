// sddl.h for the linux flavour: the security descriptor string format's revision.
#pragma once

#define SDDL_REVISION_1 1
#define SDDL_REVISION SDDL_REVISION_1
