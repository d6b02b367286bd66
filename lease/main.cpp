// absence-collector-lease: takes a lease on a day's file for the front ends,
// which hold no capability themselves. Started by a front end with one end of
// a socket pair as its standard input; see core/platform/lease_request.h for the protocol.

#include "serve.h"

int main()
{
    return absence::platform::lease::Serve(0);
}
