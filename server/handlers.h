#pragma once
// The four requests of the client, the patch files, the request log and the answers for
// errors, on top of the HTTP engine (http/engine.h).
#include "http/exchange.h"

class MiningStore;
struct ServiceOptions;

// The service's answer to each request, by exact path. store and options must outlive it.
http::Handler ServiceHandler(MiningStore& store, const ServiceOptions& options);

// The answer to a request the engine refuses before any handler runs (405, 413, 431).
http::Reply ServiceRefusal(int status);

// Writes the request's line to the log once it has been answered.
void LogAnswered(const http::Request& request, int status);
// Writes the line of a connection that ended without an answer of the service's.
void LogUnanswered(const http::Unanswered& unanswered);
