#pragma once

namespace quorlane::testsupport {

// A TCP port on 127.0.0.1 that nothing listens on at the moment of the call.
int FreeLoopbackPort();

// Waits until something accepts connections on 127.0.0.1:port; false after timeoutMs.
bool WaitForPort(int port, int timeoutMs = 10000);

} // namespace quorlane::testsupport
