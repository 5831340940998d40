#include "pdf/security/vxMD5.h"

#include <openssl/evp.h>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

// Fetched once: passing EVP_md5() to each init makes libcrypto look the
// method up again, which the 50 rounds of the RC4 key derivation feel.
const EVP_MD* MD5Method() {
  static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> Method(
      EVP_MD_fetch(nullptr, "MD5", nullptr), EVP_MD_free);
  if (!Method) throw Exception("MD5: not available");
  return Method.get();
}

EVP_MD_CTX* Started(TvxMD5Context& Context) {
  if (!Context.Digest) throw Exception("MD5: context not initialized");
  return Context.Digest.get();
}

}  // namespace

void TvxMD5ContextFree::operator()(EVP_MD_CTX* Context) const {
  // Also cleanses the state.
  EVP_MD_CTX_free(Context);
}

void MD5Init(TvxMD5Context& Context) {
  const EVP_MD* Method = MD5Method();
  if (!Context.Digest) Context.Digest.reset(EVP_MD_CTX_new());
  if (!Context.Digest || EVP_DigestInit_ex(Context.Digest.get(), Method, nullptr) != 1) {
    Context.Digest.reset();
    throw Exception("MD5: digest failed");
  }
}

void MD5Update(TvxMD5Context& Context, const void* Data, size_t Count) {
  if (EVP_DigestUpdate(Started(Context), Data, Count) != 1) throw Exception("MD5: digest failed");
}

TvxMD5Digest MD5Final(TvxMD5Context& Context) {
  TvxMD5Digest Digest;
  unsigned int Size = 0;
  const int Rc = EVP_DigestFinal_ex(Started(Context), Digest.data(), &Size);
  Context.Digest.reset();
  if (Rc != 1 || Size != Digest.size()) throw Exception("MD5: digest failed");
  return Digest;
}

std::string MD5Bytes(std::string_view Bytes) {
  TvxMD5Context C;
  MD5Init(C);
  MD5Update(C, Bytes);
  TvxMD5Digest D = MD5Final(C);
  return std::string(reinterpret_cast<const char*>(D.data()), D.size());
}

}  // namespace vx
