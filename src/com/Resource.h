// Identifiers of the module's resources, shared by the resource script and
// the code that loads them.
#pragma once

#define IDS_PROJNAME 100
#define IDR_ZMTAGIO 102
