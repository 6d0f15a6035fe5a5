#pragma once

/// Keeps the protocol-buffer library's diagnostic lines off the process's output. Text
/// fields carry GBK bytes, which the library reports as invalid UTF-8 on every write
/// and read; the terminal writes no log, and the demo server keeps its own. Installed
/// once, the first time any of the transport's entry points runs; calling it again
/// does nothing. Fatal messages still reach standard error.
void SilenceProtobufDiagnostics();
