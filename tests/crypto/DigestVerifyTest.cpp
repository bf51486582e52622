#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/FileScratch.h"
#include "corelib/Exception.h"
#include "crypto/DigestVerify.h"
#include "crypto/SigningKey.h"

using VemoraOpenSSL::Binary;
using VemoraOpenSSL::DigestVerify;
using VemoraOpenSSL::PubKey;

namespace {

using VemoraTest::signer;
using VemoraTest::stranger;

class DigestVerifyTest : public Vemora::FileScratch {
 protected:
  PubKey& keyOf(VemoraTest::SigningKey& pair) {
    auto key = std::make_unique<PubKey>();
    put("key.pem", pair.publicPem());
    key->readPemFile(win("key.pem"));
    keys_.push_back(std::move(key));
    return *keys_.back();
  }

  // Whether `signature` verifies over the content bytes followed by `text`.
  bool check(const PubKey& key, const std::string& content, const std::string& text,
             const std::string& signature) {
    std::size_t contentSize = content.size();
    std::size_t signatureSize = signature.size();
    const Binary data(reinterpret_cast<const unsigned char*>(content.data()), &contentSize,
                      Binary::kRefer);
    const Binary sig(reinterpret_cast<const unsigned char*>(signature.data()), &signatureSize,
                     Binary::kRefer);
    DigestVerify verify;
    verify.setDigest(EVP_sha256()).init(key);
    verify.update(data).update(text);
    return verify.final(sig);
  }

  static std::string messageOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const VemoraCorelib::Exception& e) {
      return e.message();
    }
    return "(no exception)";
  }

 private:
  std::vector<std::unique_ptr<PubKey>> keys_;
};

TEST_F(DigestVerifyTest, MatchingSignatureVerifies) {
  const PubKey& key = keyOf(signer());
  EXPECT_TRUE(check(key, "content", "conf/app.conf", signer().sign("contentconf/app.conf")));
  // Where the content ends and the text begins does not matter.
  EXPECT_TRUE(check(key, "contentconf/", "app.conf", signer().sign("contentconf/app.conf")));
  EXPECT_TRUE(check(key, "", "", signer().sign("")));
}

TEST_F(DigestVerifyTest, TextIsDigestedUpToItsFirstNul) {
  const PubKey& key = keyOf(signer());
  EXPECT_TRUE(check(key, "x", std::string("ab\0cd", 5), signer().sign("xab")));
  EXPECT_FALSE(check(key, "x", std::string("ab\0cd", 5), signer().sign(std::string("xab\0cd", 6))));
}

TEST_F(DigestVerifyTest, MismatchesAnswerFalse) {
  const PubKey& key = keyOf(signer());
  const PubKey& other = keyOf(stranger());
  const std::string good = signer().sign("contentname");
  std::string flipped = good;
  flipped[100] = static_cast<char>(flipped[100] ^ 1);
  EXPECT_FALSE(check(key, "contenT", "name", good));
  EXPECT_FALSE(check(key, "content", "nam", good));
  EXPECT_FALSE(check(key, "content", "name", flipped));
  EXPECT_FALSE(check(key, "content", "name", good.substr(0, 255)));
  EXPECT_FALSE(check(key, "content", "name", ""));
  EXPECT_FALSE(check(other, "content", "name", good));
}

TEST_F(DigestVerifyTest, MisuseThrowsOrAnswersFalse) {
  PubKey none;
  EXPECT_EQ(messageOf([&] {
              DigestVerify v;
              v.setDigest(EVP_sha256()).init(none);
            }),
            "Failed to hash public key to the context.");
  std::size_t count = 1;
  const unsigned char byte = 'a';
  const Binary one(&byte, &count, Binary::kRefer);
  EXPECT_EQ(messageOf([&] {
              DigestVerify v;
              v.update(one);
            }),
            "Failed to digest.");
  DigestVerify uninitialised;
  EXPECT_FALSE(uninitialised.final(one));
}

TEST_F(DigestVerifyTest, PemKeyFileErrorsKeepTheOldKey) {
  PubKey key;
  put("good.pem", signer().publicPem());
  key.readPemFile(win("good.pem"));
  EVP_PKEY* held = key.get();
  ASSERT_NE(held, nullptr);
  put("garbled.pem", "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n");
  put("empty.pem", "");
  for (const char* rel : {"garbled.pem", "empty.pem"}) {
    EXPECT_EQ(messageOf([&] { key.readPemFile(win(rel)); }),
              "Failed to read public key: " + win(rel));
  }
  EXPECT_EQ(messageOf([&] { key.readPemFile(win("missing.pem")); }),
            "Failed to create new file Bio to read: " + win("missing.pem"));
  EXPECT_EQ(messageOf([&] { key.readPemFile("D:\\key.pem"); }),
            "Failed to create new file Bio to read: D:\\key.pem");
  EXPECT_EQ(key.get(), held);
}

}  // namespace
