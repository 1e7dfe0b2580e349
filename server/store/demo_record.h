#pragma once
// The demo machine a new database is seeded with, its MARS site, its user and the coin
// prices; the same in every database the service can use.
#include "server/store/records.h"

const MachineInfo& DemoRecord();
