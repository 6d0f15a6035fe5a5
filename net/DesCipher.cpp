#include "net/DesCipher.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <openssl/evp.h>

namespace
{
constexpr std::size_t kBlockSize = 8;
constexpr unsigned char kKey[24] = {'H', 'a', 'l', 'v', 'o', 'r', 'n', '-', 'T', 'r', 'a', 'n',
                                    's', 'p', 'o', 'r', 't', '-', 'K', 'e', 'y', '-', 'v', '1'};
constexpr unsigned char kIv[kBlockSize] = {};

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

/// A context of this thread with the key schedule already made, for one direction. Making
/// the schedule (and, in OpenSSL 3, finding the cipher's implementation) costs more than
/// running a request through it, so it is done once per thread and direction. A context is
/// never shared between threads.
///
/// Encryption is CBC, each block chained to the one before. Decryption runs the blocks
/// through plain ECB and undoes the chaining by hand (each block XOR the ciphertext block
/// before it, the first XOR the zero IV): ECB keeps no state between calls, so its context
/// serves request after request without being set up again, which in OpenSSL 3 costs a good
/// part of decrypting a whole request.
EVP_CIPHER_CTX* KeyedContext(bool encrypt)
{
    struct Keyed
    {
        CipherContext context;
        bool ready = false;
    };
    thread_local Keyed contexts[2];
    Keyed& keyed = contexts[encrypt ? 1 : 0];
    if (!keyed.ready) {
        keyed.context.reset(EVP_CIPHER_CTX_new());
        if (!keyed.context ||
            EVP_CipherInit_ex(keyed.context.get(),
                              encrypt ? EVP_des_ede3_cbc() : EVP_des_ede3_ecb(), nullptr, kKey,
                              encrypt ? kIv : nullptr, encrypt ? 1 : 0) != 1 ||
            EVP_CIPHER_CTX_set_padding(keyed.context.get(), 0) != 1) {
            keyed.context.reset();
            return nullptr;
        }
        keyed.ready = true;
    }
    return keyed.context.get();
}

/// Runs the cipher over len bytes (a multiple of 8) into out, which holds len bytes and
/// does not overlap in.
bool RunCipher(bool encrypt, const unsigned char* in, std::size_t len, unsigned char* out)
{
    if (len % kBlockSize != 0 || len > static_cast<std::size_t>(INT_MAX))
        return false;
    if (len == 0)
        return true;
    EVP_CIPHER_CTX* const context = KeyedContext(encrypt);
    if (context == nullptr)
        return false;
    int updated = 0;
    if (encrypt) {
        // A fresh IV for every run: each request is encrypted on its own, from the zero IV.
        int finished = 0;
        if (EVP_CipherInit_ex(context, nullptr, nullptr, nullptr, kIv, 1) != 1 ||
            EVP_CipherUpdate(context, out, &updated, in, static_cast<int>(len)) != 1 ||
            EVP_CipherFinal_ex(context, out + updated, &finished) != 1)
            return false;
        return static_cast<std::size_t>(updated) + static_cast<std::size_t>(finished) == len;
    }
    if (EVP_CipherUpdate(context, out, &updated, in, static_cast<int>(len)) != 1 ||
        static_cast<std::size_t>(updated) != len)
        return false;
    // CBC: plain block i = decrypted block i XOR cipher block i-1 (the zero IV for block 0).
    for (std::size_t i = kBlockSize; i < len; ++i)
        out[i] ^= in[i - kBlockSize];
    return true;
}

bool RunCipher(bool encrypt, std::string_view in, std::string& out)
{
    std::string result(in.size(), '\0');
    if (!RunCipher(encrypt, reinterpret_cast<const unsigned char*>(in.data()), in.size(),
                   reinterpret_cast<unsigned char*>(result.data())))
        return false;
    out = std::move(result);
    return true;
}

/// The module's state. Sessions are built during static initialisation (the trading
/// context is a process-wide object), so it lives in a function-local static that
/// exists before the first Init and outlives the last Release at exit.
struct ModuleState
{
    std::mutex mutex;
    unsigned references = 0;
    std::vector<unsigned char> output;
};

ModuleState& State()
{
    static ModuleState state;
    return state;
}
} // namespace

namespace DesCipher
{
int Init()
{
    ModuleState& state = State();
    const std::lock_guard lock(state.mutex);
    ++state.references;
    return static_cast<int>(state.references);
}

void Release()
{
    ModuleState& state = State();
    const std::lock_guard lock(state.mutex);
    if (state.references == 0)
        return; // more releases than inits: nothing left to free
    if (--state.references == 0) {
        // The block may have held a request; wipe it before giving it back.
        std::fill(state.output.begin(), state.output.end(), 0);
        std::vector<unsigned char>().swap(state.output);
    }
}

const unsigned char* Encrypt(const unsigned char* data, std::size_t len, int /*flags*/)
{
    if (data == nullptr || len == 0 || len % kBlockSize != 0)
        return nullptr;
    ModuleState& state = State();
    const std::lock_guard lock(state.mutex);
    if (state.references == 0)
        return nullptr;
    state.output.assign(len, 0);
    if (!RunCipher(true, data, len, state.output.data())) {
        state.output.clear();
        return nullptr;
    }
    return state.output.data();
}

bool EncryptBytes(std::string_view plain, std::string& cipherOut)
{
    return RunCipher(true, plain, cipherOut);
}

bool DecryptBytes(std::string_view cipher, std::string& plainOut)
{
    return RunCipher(false, cipher, plainOut);
}
} // namespace DesCipher
