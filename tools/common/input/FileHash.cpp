#include "FileHash.h"

#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "InputFile.h"

namespace ktr {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr size_t kBlockSize = size_t{1} << 16;

class Digest {
public:
    Digest() : m_context(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1) {
            throw std::runtime_error("SHA-256 is not available");
        }
    }
    void add(const char* data, size_t size) { EVP_DigestUpdate(m_context.get(), data, size); }
    std::string hex() {
        std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context.get(), digest.data(), &length);
        std::string text;
        for (unsigned int i = 0; i < length; ++i) {
            text += kHexDigits[digest[i] >> 4];
            text += kHexDigits[digest[i] & 0xF];
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> m_context;
};

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    Digest digest;
    digest.add(bytes.data(), bytes.size());
    return digest.hex();
}

std::string sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw InputError(path + ": cannot be read: " + std::strerror(errno));
    }
    Digest digest;
    std::string block(kBlockSize, '\0');
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        digest.add(block.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        throw InputError(path + ": cannot be read to its end");
    }
    return digest.hex();
}

}  // namespace ktr
