#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "common/FileScratch.h"
#include "corelib/Exception.h"
#include "crypto/PemKeyFile.h"
#include "crypto/SigningKey.h"
#include "crypto/Vault.h"
#include "crypto/VaultCatalogue.h"

using Vemora::PemKeyFile;
using Vemora::Vault;

namespace {

using VemoraTest::signer;
using VemoraTest::stranger;

// A scratch folder holding "conf/app.conf", the public key "key.pem" and a
// catalogue based on the folder.
class VaultTest : public Vemora::FileScratch {
 protected:
  static constexpr const char* kContent = "port(Integer)=4000{}\r\n";

  void SetUp() override {
    FileScratch::SetUp();
    std::filesystem::create_directories(nat("conf"));
    put("conf/app.conf", kContent);
    put("key.pem", signer().publicPem());
  }

  // "C:\scratch\<test>" without a trailing separator.
  std::string base() const {
    std::string b = win();
    b.pop_back();
    return b;
  }

  std::unique_ptr<Vault::Catalogue> catalogue(const std::string& keyFile = "key.pem") {
    return std::make_unique<Vault::Catalogue>(base(), std::make_unique<PemKeyFile>(win(keyFile)));
  }

  // The catalogue's signature of the file's bytes under `relativeName`.
  static std::string signatureOf(const std::string& content, const std::string& relativeName,
                                 VemoraTest::SigningKey& key = signer()) {
    return key.sign(content + relativeName);
  }

  Vault& vaultWith(std::unique_ptr<Vault::Catalogue> c) {
    vault_.setCatalogue(std::move(c));
    return vault_;
  }

  static std::string messageOf(const Vault& vault, const std::string& name) {
    try {
      vault.verify(name);
    } catch (const VemoraCorelib::Exception& e) {
      return e.message();
    }
    return "(no exception)";
  }

  Vault vault_;
};

TEST_F(VaultTest, WithoutCatalogueNothingIsListed) {
  Vault vault;
  EXPECT_FALSE(vault.hasCatalogue());
  EXPECT_EQ(vault.verify(win("conf\\app.conf")), -1);
  EXPECT_EQ(vault.verify(""), -1);
}

TEST_F(VaultTest, SignedFileVerifiesUnderEveryFormOfItsPath) {
  auto c = catalogue();
  ASSERT_TRUE(c->add("conf/app.conf", signatureOf(kContent, "conf/app.conf")));
  Vault& vault = vaultWith(std::move(c));
  EXPECT_TRUE(vault.hasCatalogue());
  setenv("VAULT_TEST_BASE", base().c_str(), 1);
  for (const std::string& name :
       {win("conf\\app.conf"), "C:/scratch/" + name_ + "/conf/./app.conf",
        win("conf\\..\\conf\\\\app.conf"), std::string("%VAULT_TEST_BASE%\\conf\\app.conf")}) {
    EXPECT_EQ(vault.verify(name), 1) << name;
  }
  unsetenv("VAULT_TEST_BASE");
}

TEST_F(VaultTest, NamesOutsideTheCatalogueAreNotListed) {
  auto c = catalogue();
  c->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  Vault& vault = vaultWith(std::move(c));
  put("conf/other.conf", kContent);
  // The comparison is exact: another case is another name.
  for (const std::string& name : {win("conf\\other.conf"), win("Conf\\app.conf"), win("app.conf"),
                                  std::string("conf\\app.conf")}) {
    EXPECT_EQ(vault.verify(name), -1) << name;
  }
}

TEST_F(VaultTest, ListedFileOnAnotherDriveIsFoundThenCannotBeRead) {
  auto c = std::make_unique<Vault::Catalogue>("D:\\prog", std::make_unique<PemKeyFile>("D:\\k"));
  c->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  Vault& vault = vaultWith(std::move(c));
  EXPECT_EQ(messageOf(vault, "D:/prog/conf/./app.conf"),
            "Failed to allocate memory of size 0 for file D:\\prog\\conf\\app.conf");
  EXPECT_EQ(vault.verify("D:/prog/conf/x.conf"), -1);
}

TEST_F(VaultTest, ChangedFileOtherNameOrWrongKeyDoNotVerify) {
  auto c = catalogue();
  c->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  // The same file listed under a second name with the first name's signature.
  c->add("conf/../conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  c->add("conf/stranger.conf", signatureOf(kContent, "conf/stranger.conf", stranger()));
  Vault& vault = vaultWith(std::move(c));
  put("conf/stranger.conf", kContent);
  put("conf/app.conf", std::string(kContent).replace(14, 1, "1"));
  EXPECT_EQ(vault.verify(win("conf\\app.conf")), 0);
  put("conf/app.conf", kContent);
  // "conf/../conf/app.conf" comes first in name order and is signed wrongly.
  EXPECT_EQ(vault.verify(win("conf\\app.conf")), 0);
  EXPECT_EQ(vault.verify(win("conf\\stranger.conf")), 0);
}

TEST_F(VaultTest, FirstMatchingEntryInNameOrderDecides) {
  auto c = catalogue();
  c->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  c->add("other/../conf/app.conf", std::string(256, '\0'));
  Vault& vault = vaultWith(std::move(c));
  EXPECT_EQ(vault.verify(win("conf\\app.conf")), 1);
  auto d = catalogue();
  d->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  d->add("a/../conf/app.conf", std::string(256, '\0'));
  vaultWith(std::move(d));
  EXPECT_EQ(vault.verify(win("conf\\app.conf")), 0);
}

TEST_F(VaultTest, EmptyListedFileThrows) {
  auto c = catalogue();
  c->add("conf/app.conf", signatureOf("", "conf/app.conf"));
  Vault& vault = vaultWith(std::move(c));
  put("conf/app.conf", "");
  EXPECT_EQ(messageOf(vault, win("conf\\app.conf")),
            "Failed to allocate memory of size 0 for file " + win("conf\\app.conf"));
  std::filesystem::remove(nat("conf/app.conf"));
  EXPECT_EQ(messageOf(vault, win("conf\\app.conf")),
            "Failed to allocate memory of size 0 for file " + win("conf\\app.conf"));
}

TEST_F(VaultTest, MissingOrGarbledKeyFileThrows) {
  put("garbled.pem", "-----BEGIN PUBLIC KEY-----\nnot a key\n-----END PUBLIC KEY-----\n");
  struct Case {
    const char* keyFile;
    std::string expected;
  } cases[] = {
      {"missing.pem", "Failed to create new file Bio to read: " + win("missing.pem")},
      {"garbled.pem", "Failed to read public key: " + win("garbled.pem")},
      {"conf/app.conf", "Failed to read public key: " + win("conf/app.conf")},
  };
  for (const Case& k : cases) {
    auto c = catalogue(k.keyFile);
    c->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
    EXPECT_EQ(messageOf(vaultWith(std::move(c)), win("conf\\app.conf")), k.expected);
  }
  auto none = std::make_unique<Vault::Catalogue>(base(), nullptr);
  none->add("conf/app.conf", signatureOf(kContent, "conf/app.conf"));
  EXPECT_EQ(messageOf(vaultWith(std::move(none)), win("conf\\app.conf")), "No public key source.");
}

TEST_F(VaultTest, SignatureFilesAreRead) {
  put("good.sig", signatureOf(kContent, "conf/app.conf"));
  put("garbled.sig", std::string(256, 'x'));
  put("short.sig", std::string(255, 'x'));
  put("long.sig", std::string(257, 'x'));
  auto c = catalogue();
  c->addSignatureFile("conf/app.conf", win("good.sig"));
  c->addSignatureFile("conf/garbled.conf", win("garbled.sig"));
  for (const char* bad : {"short.sig", "long.sig"}) {
    try {
      c->addSignatureFile("conf/app.conf", win(bad));
      ADD_FAILURE() << bad;
    } catch (const VemoraCorelib::Exception& e) {
      EXPECT_EQ(e.message(), "Signature file is not 256 bytes long: " + win(bad));
    }
  }
  EXPECT_THROW(c->addSignatureFile("conf/app.conf", win("missing.sig")), VemoraCorelib::Exception);
  EXPECT_FALSE(c->add("conf/app.conf", std::string(255, 'x')));
  EXPECT_EQ(c->entries().size(), 2u);
  put("conf/garbled.conf", kContent);
  Vault& vault = vaultWith(std::move(c));
  // The rejected signatures left the good one in place.
  EXPECT_EQ(vault.verify(win("conf\\app.conf")), 1);
  EXPECT_EQ(vault.verify(win("conf\\garbled.conf")), 0);
}

}  // namespace
