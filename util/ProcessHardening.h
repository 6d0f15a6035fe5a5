#pragma once

/// Keeps the process's memory, and so the password it holds while the terminal runs, out
/// of core dumps: the core-file size limit goes to zero (soft and hard, so nothing in the
/// process can raise it again) and the process is marked not dumpable, which also keeps
/// other processes of the same user from attaching to it or reading its memory. Call it
/// first thing in main. True when both took effect.
bool DisableCoreDumps();
