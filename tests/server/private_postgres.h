#pragma once
// The throwaway PostgreSQL server of the CTest run (the fixture `postgres`), or, for a test
// process run on its own, one of the process's (scripts/private-postgres), started on
// first use and stopped when the process ends; each caller gets a database of its own.
#include <string>

// The connection URI of a new, empty database on the process's server. Records a skip
// when no PostgreSQL server is installed (a failure when CI is set, so a broken setup
// cannot pass as skipped) and a failure when the server would not start; the caller
// returns when the URI is empty.
std::string NewPostgresDatabase();
