#pragma once
// Reads what the local service recorded, straight from its SQLite database.
#include <string>
#include <vector>

// The OnOff values of the power notices the service received for `serial`, in order.
std::vector<int> PowerNoticesOf(const std::string& databasePath, const std::string& serial);
