#include "pdf/security/vxAES.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

struct TvxCipherFree {
  void operator()(EVP_CIPHER_CTX* C) const { EVP_CIPHER_CTX_free(C); }
};
struct TvxDigestFree {
  void operator()(EVP_MD_CTX* C) const { EVP_MD_CTX_free(C); }
};

const EVP_CIPHER* Cipher(std::string_view Key, bool CBC) {
  if (Key.size() == 16) return CBC ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
  if (Key.size() == 32) return CBC ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
  throw Exception("AES: Invalid key length");
}

std::string Run(bool Encrypt, bool CBC, std::string_view Key, std::string_view IV,
                std::string_view Data) {
  const EVP_CIPHER* C = Cipher(Key, CBC);
  if ((CBC && IV.size() != 16) || Data.size() % 16 != 0 || Data.size() > INT_MAX - 32)
    throw Exception("AES: Invalid block size");
  std::string Out(Data.size(), '\0');
  if (Data.empty()) return Out;
  std::unique_ptr<EVP_CIPHER_CTX, TvxCipherFree> Ctx(EVP_CIPHER_CTX_new());
  const auto* K = reinterpret_cast<const unsigned char*>(Key.data());
  const auto* V = CBC ? reinterpret_cast<const unsigned char*>(IV.data()) : nullptr;
  int Len = 0;
  if (!Ctx || EVP_CipherInit_ex(Ctx.get(), C, nullptr, K, V, Encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(Ctx.get(), 0) != 1 ||
      EVP_CipherUpdate(Ctx.get(), reinterpret_cast<unsigned char*>(Out.data()), &Len,
                       reinterpret_cast<const unsigned char*>(Data.data()),
                       static_cast<int>(Data.size())) != 1 ||
      static_cast<size_t>(Len) != Data.size())
    throw Exception("AES: Cipher failed");
  return Out;
}

}  // namespace

std::string AESEncryptCBC(std::string_view Key, std::string_view IV, std::string_view Data) {
  return Run(true, true, Key, IV, Data);
}

std::string AESDecryptCBC(std::string_view Key, std::string_view IV, std::string_view Data) {
  return Run(false, true, Key, IV, Data);
}

std::string AESEncryptBlock(std::string_view Key, std::string_view Block) {
  if (Block.size() != 16) throw Exception("AES: Invalid block size");
  return Run(true, false, Key, {}, Block);
}

std::string AESDecryptBlock(std::string_view Key, std::string_view Block) {
  if (Block.size() != 16) throw Exception("AES: Invalid block size");
  return Run(false, false, Key, {}, Block);
}

std::string AddPadding(std::string_view Data) {
  const size_t N = 16 - Data.size() % 16;
  std::string Out(Data);
  Out.append(N, static_cast<char>(N));
  return Out;
}

bool RemovePadding(std::string& Data) {
  if (Data.empty() || Data.size() % 16 != 0) return false;
  const auto N = static_cast<unsigned char>(Data.back());
  if (N < 1 || N > 16) return false;
  for (size_t I = Data.size() - N; I < Data.size(); ++I)
    if (static_cast<unsigned char>(Data[I]) != N) return false;
  Data.erase(Data.end() - N, Data.end());
  return true;
}

std::string SHA2Bytes(int Bits, std::string_view Data) {
  const EVP_MD* MD = Bits == 512 ? EVP_sha512() : Bits == 384 ? EVP_sha384() : EVP_sha256();
  std::unique_ptr<EVP_MD_CTX, TvxDigestFree> Ctx(EVP_MD_CTX_new());
  unsigned char Digest[EVP_MAX_MD_SIZE];
  unsigned int Len = 0;
  if (!Ctx || EVP_DigestInit_ex(Ctx.get(), MD, nullptr) != 1 ||
      EVP_DigestUpdate(Ctx.get(), Data.data(), Data.size()) != 1 ||
      EVP_DigestFinal_ex(Ctx.get(), Digest, &Len) != 1)
    throw Exception("SHA-2: Digest failed");
  return std::string(reinterpret_cast<const char*>(Digest), Len);
}

namespace {

std::mutex SeededLock;
std::optional<std::mt19937_64> Seeded;
thread_local std::optional<std::mt19937_64> ThreadSeeded;

}  // namespace

void SeedRandomBytes(uint64_t Seed) {
  std::lock_guard<std::mutex> Guard(SeededLock);
  if (Seed == 0)
    Seeded.reset();
  else
    Seeded.emplace(Seed);
}

void SeedThreadRandomBytes(uint64_t Seed) {
  if (Seed == 0)
    ThreadSeeded.reset();
  else
    ThreadSeeded.emplace(Seed);
}

std::string RandomBytes(size_t Count) {
  std::string Out(Count, '\0');
  if (ThreadSeeded) {
    for (char& C : Out) C = static_cast<char>((*ThreadSeeded)() >> 56);
    return Out;
  }
  {
    std::lock_guard<std::mutex> Guard(SeededLock);
    if (Seeded) {
      for (char& C : Out) C = static_cast<char>((*Seeded)() >> 56);
      return Out;
    }
  }
  if (Count > 0 &&
      RAND_bytes(reinterpret_cast<unsigned char*>(Out.data()), static_cast<int>(Count)) != 1)
    throw Exception("No random data");
  return Out;
}

}  // namespace vx
