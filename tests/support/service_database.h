#pragma once
// Reads what the local service recorded, straight from its SQLite database.
#include <string>
#include <vector>

using Rows = std::vector<std::vector<std::string>>;

// Every row `sql` selects, each column as text (NULL as ""); `?1`, `?2`, ... take
// `parameters` in order. No rows when the database cannot be opened or the statement
// does not prepare.
Rows QueryServiceDatabase(const std::string& databasePath, const std::string& sql,
                          const std::vector<std::string>& parameters = {});

// The OnOff values of the power notices the service received for `serial`, in order.
std::vector<int> PowerNoticesOf(const std::string& databasePath, const std::string& serial);
