#pragma once
// The lease helper's work (see serve.cpp).

namespace absence::platform::lease {

// Serves the one request on `socket`; the exit status.
int Serve(int socket);

} // namespace absence::platform::lease
