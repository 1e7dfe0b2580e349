#pragma once
// The four requests of the client, the request log and the answers for errors.
namespace httplib {
class Server;
}
class MiningStore;
struct ServiceOptions;

// store and options must outlive the server.
void InstallRoutes(httplib::Server& server, MiningStore& store, const ServiceOptions& options);
