#include "suite/login_service/token.h"

#include "suite/key_file.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace tarn::suite {
namespace {

constexpr std::string_view kPrefix = "t1.";
constexpr int kBase64 = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

}  // namespace

std::string SealToken(const std::string& key, std::string_view payload) {
  if (key.size() != kKeyBytes || sodium_init() < 0) return std::string();
  std::vector<unsigned char> sealed(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + payload.size());
  unsigned char* nonce = sealed.data();
  randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
  crypto_secretbox_easy(sealed.data() + crypto_secretbox_NONCEBYTES,
                        reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), nonce,
                        reinterpret_cast<const unsigned char*>(key.data()));
  std::string text(sodium_base64_ENCODED_LEN(sealed.size(), kBase64), '\0');
  sodium_bin2base64(text.data(), text.size(), sealed.data(), sealed.size(), kBase64);
  text.resize(text.find('\0'));
  return std::string(kPrefix) + text;
}

bool OpenToken(const std::string& key, std::string_view token, std::string* payload) {
  if (key.size() != kKeyBytes || token.substr(0, kPrefix.size()) != kPrefix || sodium_init() < 0) {
    return false;
  }
  token.remove_prefix(kPrefix.size());
  // An empty body would hand the decoder a null buffer.
  if (token.empty()) return false;
  std::vector<unsigned char> sealed(token.size());
  size_t len = 0;
  if (sodium_base642bin(sealed.data(), sealed.size(), token.data(), token.size(), nullptr, &len, nullptr, kBase64) !=
          0 ||
      len < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES) {
    return false;
  }
  const size_t box = len - crypto_secretbox_NONCEBYTES;
  std::string plain(box - crypto_secretbox_MACBYTES, '\0');
  if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(plain.data()),
                                 sealed.data() + crypto_secretbox_NONCEBYTES, box, sealed.data(),
                                 reinterpret_cast<const unsigned char*>(key.data())) != 0) {
    return false;
  }
  *payload = std::move(plain);
  return true;
}

}  // namespace tarn::suite
