#include "platform/CLuLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// A library the test program does not link, so whether it is mapped tells
// whether the loader really released it.
const char kUnlinkedLibrary[] = "libcrypt.so.1";

bool isMapped(const char* name) {
  void* probe = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
  if (probe == nullptr) return false;
  dlclose(probe);  // RTLD_NOLOAD still counted a reference
  return true;
}

TEST(CLuLibraryTest, LoadsResolvesAndReallyUnloadsUnlessAutoFreeIsOff) {
  ASSERT_FALSE(isMapped(kUnlinkedLibrary)) << "precondition: the test links " << kUnlinkedLibrary;
  {
    CLuLibrary lib(true);
    EXPECT_EQ(CLuLibrary::kOk, lib.Free()) << "nothing loaded yet";
    ASSERT_EQ(CLuLibrary::kOk, lib.Load(kUnlinkedLibrary)) << lib.lastError();
    ASSERT_EQ(CLuLibrary::kOk, lib.Load(kUnlinkedLibrary)) << "a second load needs no second free";
    EXPECT_TRUE(lib.isLoaded());
    EXPECT_NE(nullptr, lib.GetProcAddress("crypt"));
    EXPECT_TRUE(lib.lastError().empty());
    EXPECT_EQ(CLuLibrary::kOk, lib.Free());
    EXPECT_FALSE(isMapped(kUnlinkedLibrary));
    EXPECT_FALSE(lib.isLoaded());
    EXPECT_EQ(nullptr, lib.GetProcAddress("crypt"));
    EXPECT_EQ("no library loaded", lib.lastError());
    ASSERT_EQ(CLuLibrary::kOk, lib.Load(kUnlinkedLibrary)) << lib.lastError();
  }
  EXPECT_FALSE(isMapped(kUnlinkedLibrary)) << "the destructor frees";
  {
    CLuLibrary lib(false);
    ASSERT_EQ(CLuLibrary::kOk, lib.Load(kUnlinkedLibrary)) << lib.lastError();
  }
  EXPECT_TRUE(isMapped(kUnlinkedLibrary)) << "without autoFree the library stays";
  void* probe = dlopen(kUnlinkedLibrary, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, probe);
  dlclose(probe);
  dlclose(probe);
  EXPECT_FALSE(isMapped(kUnlinkedLibrary));
}

TEST(CLuLibraryTest, FailuresReportTheReasonAndKeepTheLibraryLoadedBefore) {
  CLuLibrary lib(true);
  EXPECT_EQ(CLuLibrary::kInvalidArgument, lib.Load(nullptr));
  EXPECT_EQ(CLuLibrary::kInvalidArgument, lib.Load(""));
  EXPECT_FALSE(lib.lastError().empty());
  const std::string path = "/nonexistent/evtask/libmissing.so";
  EXPECT_EQ(CLuLibrary::kLoadFailed, lib.Load(path.c_str()));
  EXPECT_FALSE(lib.isLoaded());
  EXPECT_NE(std::string::npos, lib.lastError().find(path)) << lib.lastError();
  ASSERT_EQ(CLuLibrary::kOk, lib.Load("libm.so.6"));
  EXPECT_EQ(CLuLibrary::kLoadFailed, lib.Load(path.c_str()));
  EXPECT_TRUE(lib.isLoaded());
  EXPECT_EQ(nullptr, lib.GetProcAddress("evtask_no_such_symbol"));
  EXPECT_NE(std::string::npos, lib.lastError().find("evtask_no_such_symbol")) << lib.lastError();
  EXPECT_EQ(nullptr, lib.GetProcAddress(nullptr));
  EXPECT_EQ(nullptr, lib.GetProcAddress(""));
  auto* cosine = reinterpret_cast<double (*)(double)>(lib.GetProcAddress("cos"));
  ASSERT_NE(nullptr, cosine) << lib.lastError();
  EXPECT_TRUE(lib.lastError().empty());
  volatile double zero = 0.0;
  EXPECT_DOUBLE_EQ(1.0, cosine(zero));
}

}  // namespace
