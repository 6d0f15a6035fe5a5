#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// The transport cipher: 3DES-CBC (DES-EDE3-CBC) with the fixed key
/// "Halvorn-Transport-Key-v1", a zero IV and no padding of its own; every block
/// handed to it is already a multiple of 8 bytes long.
namespace DesCipher
{
/// Entry point 2: one call per client session construction. Calls may overlap; the
/// module counts them. Returns the number of holders after the call.
int Init();
/// Entry point 3: one call per client session destruction; the last release frees
/// the module's output block.
void Release();
/// Entry point 1: encrypts len bytes (a multiple of 8) into a separate block that the
/// module owns and keeps until the next call or the last Release. Returns null when
/// it cannot (len zero or not a multiple of 8, module not initialised, cipher failure).
/// There is one such block for the process, like the library it stands in for: callers
/// are the terminal's one user-interface thread, and they copy the bytes out at once.
const unsigned char* Encrypt(const unsigned char* data, std::size_t len, int flags);

/// Stateless forms for the receiving side and for tests. Return false when the input
/// length is not a multiple of 8 or the cipher fails.
bool EncryptBytes(std::string_view plain, std::string& cipherOut);
bool DecryptBytes(std::string_view cipher, std::string& plainOut);
} // namespace DesCipher
