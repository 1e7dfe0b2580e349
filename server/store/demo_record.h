#pragma once
// The demo machine a new database is seeded with, its MARS site, its user and the coin
// prices; the same in every database the service can use.
#include <array>

#include "server/store/records.h"

const MachineInfo& DemoRecord();

// A price set as the rows of the coin_prices table: the coin's name and its price in USD.
struct CoinPriceRow {
  const char* coin;
  double usd;
};
std::array<CoinPriceRow, 4> CoinPriceRows(const CoinPrices& prices);
