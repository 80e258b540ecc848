// Is the caller a member of the local Administrators group?
#pragma once

#include <windows.h>

bool IsUserAdmin(bool skip, DWORD majorVersion);
