#include "agent/text/digest.h"

#include <openssl/evp.h>

#include <memory>

namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// Writes the digest of data as hexadecimal text into out (2 * digest size + 1
// bytes); on a library failure out is left as an empty text.
void DigestHex(const EVP_MD* md, const void* data, std::size_t length, const char* digits,
               char* out) {
  out[0] = '\0';
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), data, length) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), digest, &digestLength) != 1) {
    return;
  }
  for (unsigned int i = 0; i < digestLength; ++i) {
    out[2 * i] = digits[digest[i] >> 4];
    out[2 * i + 1] = digits[digest[i] & 0x0F];
  }
  out[2 * digestLength] = '\0';
}

}  // namespace

char* DigestMd5Hex(const void* data, std::size_t length, char (&output)[kMd5HexSize]) {
  DigestHex(EVP_md5(), data, length, "0123456789abcdef", output);
  return output;
}

char* DigestSha256Hex(const void* data, std::size_t length, char (&output)[kSha256HexSize]) {
  DigestHex(EVP_sha256(), data, length, "0123456789ABCDEF", output);
  return output;
}
