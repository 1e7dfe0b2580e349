// ParseMachineInfo on any reply: every text field ends in a NUL within its capacity and
// holds what the profile rules read for it, every figure is the reading of its key, and
// nothing outside the reply's fields changes. A record whose Count reads 0 changes only
// the server version.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/checked_math.h"
#include "core/machine_state.h"
#include "exchange/machine_info.h"
#include "fuzz_support.h"
#include "profile_model.h"

namespace {

struct Field {
  enum class Kind { kText, kInt, kReal };
  Kind kind;
  const char* section;
  const char* key;
  std::size_t offset;
  std::size_t size;
};

class FieldList {
 public:
  explicit FieldList(MachineState& s) : base_(reinterpret_cast<char*>(&s)) {}
  template <std::size_t N>
  void Text(const char* section, const char* key, char (&field)[N]) {
    Add(Field::Kind::kText, section, key, field, N);
  }
  void Int(const char* section, const char* key, int32_t& field) {
    Add(Field::Kind::kInt, section, key, &field, sizeof field);
  }
  void Real(const char* section, const char* key, double& field) {
    Add(Field::Kind::kReal, section, key, &field, sizeof field);
  }
  std::vector<Field> fields;

 private:
  void Add(Field::Kind kind, const char* section, const char* key, void* field, std::size_t size) {
    fields.push_back({kind, section, key, static_cast<std::size_t>(static_cast<char*>(field) - base_), size});
  }
  char* base_;
};

// The record block of the reply: each field the client reads, with its section, key and size.
std::vector<Field> RecordFields() {
  MachineState s;
  FieldList f(s);
  f.Real("Coin", "BTC", s.priceBtc);
  f.Real("Coin", "ETH", s.priceEth);
  f.Real("Coin", "BNB", s.priceBnb);
  f.Real("Coin", "KEST", s.priceKest);
  f.Text("Machine", "Name", s.machineName);
  f.Int("Machine", "Sector", s.sector);
  f.Real("Machine", "Location", s.location);
  f.Int("Machine", "Level", s.level);
  f.Int("Machine", "EXP", s.exp);
  f.Int("Machine", "Fuel", s.fuel);
  f.Int("Machine", "AutoCharge", s.autoCharge);
  f.Int("Machine", "TargetCoin", s.targetCoin);
  f.Real("Machine", "KEST", s.machineKest);
  f.Real("Machine", "BTC", s.machineBtc);
  f.Real("Machine", "ETH", s.machineEth);
  f.Real("Machine", "BNB", s.machineBnb);
  f.Int("Machine", "OnOff", s.onOff);
  f.Text("MARS", "Name", s.marsName);
  f.Int("MARS", "Active_User", s.activeUsers);
  f.Int("MARS", "Active_Machine", s.activeMachines);
  f.Real("MARS", "Total_Kest_Mining", s.totalKestMining);
  f.Real("MARS", "MKPH", s.mkph);
  f.Real("MARS", "MKPS", s.mkps);
  f.Real("MARS", "B_KEST", s.buriedKest);
  f.Real("MARS", "B_BTC", s.buriedBtc);
  f.Real("MARS", "B_ETH", s.buriedEth);
  f.Real("MARS", "B_BNB", s.buriedBnb);
  f.Text("MARS", "KEST_ADDR", s.marsAddress[kCoinKest]);
  f.Text("MARS", "BTC_ADDR", s.marsAddress[kCoinBtc]);
  f.Text("MARS", "ETH_ADDR", s.marsAddress[kCoinEth]);
  f.Text("MARS", "BNB_ADDR", s.marsAddress[kCoinBnb]);
  f.Text("USER", "KEST_ADDR", s.userAddress[kCoinKest]);
  f.Text("USER", "BTC_ADDR", s.userAddress[kCoinBtc]);
  f.Text("USER", "ETH_ADDR", s.userAddress[kCoinEth]);
  f.Text("USER", "BNB_ADDR", s.userAddress[kCoinBnb]);
  f.Real("USER", "KEST_BALANCE", s.balanceKest);
  f.Real("USER", "BTC_BALANCE", s.balanceBtc);
  f.Real("USER", "ETH_BALANCE", s.balanceEth);
  f.Real("USER", "BNB_BALANCE", s.balanceBnb);
  return f.fields;
}

Field ServerVersionField() {
  MachineState s;
  FieldList f(s);
  f.Text("Version", "Server", s.serverVersion);
  return f.fields.front();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<Field> kRecord = RecordFields();
  static const Field kServerVersion = ServerVersionField();

  const std::string reply(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzz::ScratchFile("qx_sn.dat");
  fuzz::WriteFile(path, reply);

  // No NUL anywhere beforehand, so every NUL found afterwards was written by the parse.
  MachineState state;
  std::memset(static_cast<void*>(&state), 'X', sizeof state);
  MachineState before;
  std::memcpy(static_cast<void*>(&before), &state, sizeof state);
  ParseMachineInfo(state, path.c_str());

  const char* after = reinterpret_cast<const char*>(&state);
  const char* old = reinterpret_cast<const char*>(&before);
  std::vector<bool> covered(sizeof state, false);
  const std::vector<fuzz::ModelLine> lines = fuzz::ModelLines(reply);
  const auto context = [&] { return std::string() + "reply " + fuzz::Show(reply); };

  const auto check = [&](const Field& f) {
    const auto where = [&] { return std::string("[") + f.section + "] " + f.key + "; " + context(); };
    for (std::size_t i = 0; i < f.size; ++i) covered[f.offset + i] = true;
    if (f.kind == Field::Kind::kText) {
      const std::size_t length = strnlen(after + f.offset, f.size);
      FUZZ_CHECK(length < f.size, "no NUL within the field; " + where());
      const std::string expected = fuzz::ModelRead(lines, f.section, f.key, "", f.size < 256 ? f.size : 256);
      FUZZ_CHECK(std::string(after + f.offset, length) == expected,
                 "holds " + fuzz::Show(std::string(after + f.offset, length)) + ", expected " +
                     fuzz::Show(expected) + "; " + where());
      return;
    }
    const std::string text = fuzz::ModelRead(lines, f.section, f.key, "", 256);
    if (f.kind == Field::Kind::kInt) {
      const int32_t expected = ReadInt32(text.c_str());
      FUZZ_CHECK(std::memcmp(after + f.offset, &expected, sizeof expected) == 0, where());
    } else {
      // Bit for bit, so that a NaN is checked as well.
      const double expected = ReadDouble(text.c_str());
      double stored = 0;
      std::memcpy(&stored, after + f.offset, sizeof stored);
      FUZZ_CHECK(std::bit_cast<uint64_t>(stored) == std::bit_cast<uint64_t>(expected), where());
    }
  };

  check(kServerVersion);
  const bool hasRecord = ReadInt32(fuzz::ModelRead(lines, "Return", "Count", "", 256).c_str()) != 0;
  if (hasRecord) {
    for (const Field& f : kRecord) check(f);
  }
  for (std::size_t i = 0; i < sizeof state; ++i) {
    FUZZ_CHECK(
        covered[i] || after[i] == old[i],
        "byte " + std::to_string(i) + " of the record changed outside the reply's fields; " + context());
  }
  return 0;
}
