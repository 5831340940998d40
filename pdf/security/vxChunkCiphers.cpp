#include "pdf/security/vxChunkCiphers.h"

#include <algorithm>

#include "pdf/objects/vxExceptions.h"
#include "pdf/security/vxAES.h"
#include "pdf/security/vxRC4.h"

namespace vx {

namespace {

constexpr size_t Block = 16;

class TvxRC4Chunks : public TvxChunkCipher {
 public:
  explicit TvxRC4Chunks(std::string_view Key) {
    RC4Init(FContext, Key.data(), static_cast<int32_t>(Key.size()));
  }
  void Update(std::string_view In, bool, std::string& Out) override {
    const size_t Start = Out.size();
    Out.append(In);
    auto* Data = reinterpret_cast<uint8_t*>(Out.data() + Start);
    RC4Continue(FContext, FI, FJ, Data, Data, In.size());
  }

 private:
  TvxRC4Context FContext;
  uint8_t FI = 0, FJ = 0;
};

// Gathers whole blocks from pieces of any size: a block split between two
// pieces is completed from the second.
class TvxBlockGatherer {
 public:
  // Calls Run with the whole blocks In completes, at most twice.
  template <typename F>
  void Feed(std::string_view In, F&& Run) {
    if (!FPending.empty()) {
      const size_t Take = std::min(Block - FPending.size(), In.size());
      FPending.append(In.substr(0, Take));
      In.remove_prefix(Take);
      if (FPending.size() < Block) return;
      Run(std::string_view(FPending));
      FPending.clear();
    }
    const size_t Whole = In.size() / Block * Block;
    if (Whole > 0) Run(In.substr(0, Whole));
    FPending.assign(In.substr(Whole));
  }
  std::string& Pending() { return FPending; }

 private:
  std::string FPending;
};

class TvxAESDecryptChunks : public TvxChunkCipher {
 public:
  TvxAESDecryptChunks(std::string_view Key, int Padding, int Trailing)
      : FKey(Key), FPadding(Padding), FTrailing(Trailing) {}
  void Update(std::string_view In, bool Last, std::string& Out) override {
    if (FIV.size() < Block) {
      const size_t Take = std::min(Block - FIV.size(), In.size());
      FIV.append(In.substr(0, Take));
      In.remove_prefix(Take);
    }
    FBlocks.Feed(In, [&](std::string_view Cipher) {
      std::string Plain = AESDecryptCBC(FKey, FIV, Cipher);
      FIV.assign(Cipher.substr(Cipher.size() - Block));
      // The last block may be the padded one: held back until the next.
      Out.append(FHeld);
      Out.append(Plain, 0, Plain.size() - Block);
      FHeld.assign(Plain, Plain.size() - Block, Block);
    });
    if (!Last) return;
    // The padding was checked at load; data that no longer ends in whole
    // blocks is not the data that was checked.
    if (FBlocks.Pending().size() != static_cast<size_t>(FTrailing) || FHeld.size() != Block)
      throw Exception("AES: Invalid block size");
    Out.append(FHeld, 0, Block - static_cast<size_t>(FPadding));
  }

 private:
  std::string FKey;
  int FPadding;
  int FTrailing;
  std::string FIV;
  std::string FHeld;
  TvxBlockGatherer FBlocks;
};

class TvxAESEncryptChunks : public TvxChunkCipher {
 public:
  TvxAESEncryptChunks(std::string_view Key, std::string_view IV) : FKey(Key), FIV(IV) {}
  void Update(std::string_view In, bool Last, std::string& Out) override {
    if (!FStarted) {
      Out.append(FIV);
      FStarted = true;
    }
    auto Run = [&](std::string_view Plain) {
      std::string Cipher = AESEncryptCBC(FKey, FIV, Plain);
      FIV.assign(Cipher, Cipher.size() - Block, Block);
      Out.append(Cipher);
    };
    FBlocks.Feed(In, Run);
    if (!Last) return;
    const std::string Tail = AddPadding(FBlocks.Pending());
    FBlocks.Pending().clear();
    Run(Tail);
  }

 private:
  std::string FKey;
  std::string FIV;
  bool FStarted = false;
  TvxBlockGatherer FBlocks;
};

}  // namespace

std::unique_ptr<TvxChunkCipher> MakeRC4Chunks(std::string_view Key) {
  return std::make_unique<TvxRC4Chunks>(Key);
}

std::unique_ptr<TvxChunkCipher> MakeAESDecryptChunks(std::string_view Key, int Padding,
                                                     int Trailing) {
  if (Padding < 0 || Padding > static_cast<int>(Block) || Trailing < 0 ||
      Trailing >= static_cast<int>(Block))
    throw Exception("AES: Invalid block size");
  return std::make_unique<TvxAESDecryptChunks>(Key, Padding, Trailing);
}

std::unique_ptr<TvxChunkCipher> MakeAESEncryptChunks(std::string_view Key, std::string_view IV) {
  return std::make_unique<TvxAESEncryptChunks>(Key, IV);
}

int AESPaddingOf(std::string_view Key, std::string_view Data) {
  if (Data.size() < 2 * Block || Data.size() % Block != 0) return 0;
  std::string Last = AESDecryptBlock(Key, Data.substr(Data.size() - Block));
  const std::string_view Before = Data.substr(Data.size() - 2 * Block, Block);
  for (size_t I = 0; I < Block; ++I) Last[I] = static_cast<char>(Last[I] ^ Before[I]);
  return RemovePadding(Last) ? static_cast<int>(Block - Last.size()) : 0;
}

}  // namespace vx
