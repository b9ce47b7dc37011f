#include "audit/platform/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>

#include "audit/tests/temp_folders.h"

using namespace plat;

namespace {

TEST(RegistryTest, KeysAreCreatedOpenedAndValuesRoundTrip) {
  audit_test::TempFolders dirs;
  HKEY software = nullptr, company = nullptr, product = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &software),
            ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(software, "Calvetta", 0, KEY_ALL_ACCESS, &company),
            ERROR_FILE_NOT_FOUND);
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(software, "Calvetta", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &company, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(RegCreateKeyExA(company, "Tervane", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &product, &disposition),
            ERROR_SUCCESS);

  char text[80] = "mine";
  ASSERT_EQ(RegSetValueExA(product, "SysName", 0, REG_SZ, reinterpret_cast<BYTE*>(text), 80),
            ERROR_SUCCESS);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExA(product, "Clear", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_SUCCESS);
  RegCloseKey(product);

  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Calvetta\\Tervane", 0, KEY_ALL_ACCESS,
                          &again),
            ERROR_SUCCESS);
  char buf[80];
  std::memset(buf, 'x', sizeof buf);
  DWORD size = 80, type = 0;
  ASSERT_EQ(RegQueryValueExA(again, "SysName", nullptr, &type, reinterpret_cast<BYTE*>(buf),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 80u);
  EXPECT_STREQ(buf, "mine");

  DWORD value = 0;
  size = 4;
  ASSERT_EQ(RegQueryValueExA(again, "Clear", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 1u);

  // Too small a buffer: the size needed, and nothing written past the buffer.
  size = 10;
  EXPECT_EQ(RegQueryValueExA(again, "SysName", nullptr, &type, reinterpret_cast<BYTE*>(buf),
                             &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 80u);
  size = 80;
  EXPECT_EQ(RegQueryValueExA(again, "Missing", nullptr, &type, reinterpret_cast<BYTE*>(buf),
                             &size),
            ERROR_FILE_NOT_FOUND);

  // Opening an existing key again reports it as existing.
  HKEY same = nullptr;
  ASSERT_EQ(RegCreateKeyExA(company, "Tervane", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &same, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(same);
  RegCloseKey(again);
  RegCloseKey(company);
  RegCloseKey(software);
}

TEST(RegistryTest, NamesThatLeaveTheStoreAreRefused) {
  audit_test::TempFolders dirs;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "..\\..", 0, KEY_ALL_ACCESS, &key),
            ERROR_INVALID_NAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software/x", 0, KEY_ALL_ACCESS, &key),
            ERROR_INVALID_NAME);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  BYTE b = 0;
  EXPECT_EQ(RegSetValueExA(key, "../escape", 0, REG_SZ, &b, 1), ERROR_INVALID_NAME);
  RegCloseKey(key);
}

TEST(RegistryTest, AValueThatIsNoRegularFileIsRefusedWithoutWaiting) {
  audit_test::TempFolders dirs;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Calvetta\\Tervane", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::string folder = dirs.registry + "/HKEY_LOCAL_MACHINE/Software/Calvetta/Tervane/";
  ASSERT_EQ(mkfifo((folder + "SysName").c_str(), 0600), 0);  // would wait for a writer
  ASSERT_EQ(symlink("/dev/zero", (folder + "Drive").c_str()), 0);  // endless
  for (const char* name : {"SysName", "Drive"}) {
    SCOPED_TRACE(name);
    auto reading = std::async(std::launch::async, [key, name] {
      BYTE buf[80];
      DWORD size = sizeof buf;
      return RegQueryValueExA(key, name, nullptr, nullptr, buf, &size);
    });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      int unblock = open((folder + name).c_str(), O_WRONLY | O_NONBLOCK);  // lets it return
      if (unblock >= 0) close(unblock);
      reading.wait();
      ADD_FAILURE() << "reading the value waited";
      continue;
    }
    EXPECT_NE(reading.get(), ERROR_SUCCESS);
  }
  RegCloseKey(key);
}

TEST(RegistryTest, TheStoreIsWhereTheEnvironmentSays) {
  audit_test::TempFolders dirs;
  EXPECT_EQ(RegistryRoot(), dirs.registry);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(audit_test::Exists(dirs.registry + "/HKEY_LOCAL_MACHINE/Software"));
}

}  // namespace
