// Resource identifiers shared by the resource script and the code that loads them.
#pragma once

#define QZ_IDI_APPLICATION 1
#define QZ_IDB_PICTURE 101
