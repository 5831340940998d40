// AES, SHA-2 and random bytes for the AES methods of the standard security
// handler, through OpenSSL's EVP interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

// AES-CBC without padding, key of 16 or 32 bytes, IV of 16 bytes; the data
// must be whole 16-byte blocks. Wrong sizes raise Exception "AES: Invalid
// key length" / "AES: Invalid block size".
std::string AESEncryptCBC(std::string_view Key, std::string_view IV, std::string_view Data);
std::string AESDecryptCBC(std::string_view Key, std::string_view IV, std::string_view Data);
// One 16-byte block under AES-ECB.
std::string AESEncryptBlock(std::string_view Key, std::string_view Block);
std::string AESDecryptBlock(std::string_view Key, std::string_view Block);

// Data with PKCS#5 padding added (1 to 16 bytes of the padding length).
std::string AddPadding(std::string_view Data);
// Data with its PKCS#5 padding removed; false (Data unchanged) when the last
// block does not end in valid padding.
bool RemovePadding(std::string& Data);

// SHA-256, SHA-384 or SHA-512 by Bits.
std::string SHA2Bytes(int Bits, std::string_view Data);

// Bytes from the system's random source; raises Exception "No random data"
// when it fails.
std::string RandomBytes(size_t Count);
// For tests that compare whole encrypted files: a Seed other than 0 makes
// RandomBytes draw from a reproducible generator; 0 gives back the system's
// random source. Never used by the program itself.
void SeedRandomBytes(uint64_t Seed);
// The same for this thread alone, ahead of the process-wide seed, so that
// documents saved side by side each draw what a run of their own would.
void SeedThreadRandomBytes(uint64_t Seed);

}  // namespace vx
