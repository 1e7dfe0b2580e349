#include "server/store/read_connections.h"

bool ReadConnections::Open(const std::string& path, int count, std::string& error) {
  for (int i = 0; i < count; ++i) {
    auto db = std::make_unique<SqliteDb>();
    if (!db->Open(path, /*readOnly=*/true)) {
      error = "cannot open a read connection to '" + path + "': " + db->LastError();
      return false;
    }
    free_.push_back(db.get());
    all_.push_back(std::move(db));
  }
  return true;
}

ReadConnections::Lease ReadConnections::Borrow() {
  std::unique_lock<std::mutex> lock(mutex_);
  returned_.wait(lock, [&] { return !free_.empty(); });
  SqliteDb* db = free_.back();
  free_.pop_back();
  return Lease(*this, *db);
}

void ReadConnections::Return(SqliteDb& db) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(&db);
  }
  returned_.notify_one();
}
