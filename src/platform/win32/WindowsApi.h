// The Win32 API for the program's window code. windows.h turns many function names into
// macros (DrawText becomes DrawTextW); where such a name is also a method of the
// program's own interfaces, the macro would rename that method in this file only. The
// window code therefore includes windows.h through here and calls the wide functions by
// their full names.
#pragma once

#include <windows.h>

#undef DrawText
