// The run-time binding of the service library over the simulated machine's loader.
#include <gtest/gtest.h>

#include <string>

#include "ntservice/advapi32.h"
#include "ntservice/ntexception.h"
#include "platform/exception.h"
#include "platform/sim/machine.h"
#include "tests/unit/ntservice_support.h"

namespace {

const std::string kCannotLoadAdvapi = "Cannot load library \"advapi32.dll\" or linked libraries";

SC_HANDLE OpenManager() { return Advapi32::OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT); }

TEST(Advapi32Binding, BindsAdvapi32OnTheNtFamilyAndForwardsCalls) {
  sim::Machine machine;
  Advapi32::Binding binding;
  EXPECT_EQ(Advapi32::LibraryName(), "advapi32.dll");
  SC_HANDLE manager = OpenManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(machine.OpenServiceHandles(), 1);
  EXPECT_TRUE(Advapi32::CloseServiceHandle(manager));
  EXPECT_EQ(machine.OpenServiceHandles(), 0);
}

TEST(Advapi32Binding, AMissingExportFailsOnlyItsOwnWrapper) {
  sim::Machine machine;
  sim::ServiceSpec spec;
  spec.name = "Svc";
  machine.AddService(spec);
  machine.RemoveExport("advapi32.dll", "DeleteService");
  Advapi32::Binding binding;

  SC_HANDLE manager = OpenManager();
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = Advapi32::OpenService(manager, "Svc", SERVICE_ALL_ACCESS);
  ASSERT_NE(service, nullptr);
  const ENTException e = test::Raised([&] { Advapi32::DeleteService(service); });
  EXPECT_EQ(e.Message(), kCannotLoadAdvapi);
  EXPECT_EQ(e.ErrorCode, 0u);
  EXPECT_TRUE(machine.ServiceInstalled("Svc"));
  EXPECT_TRUE(Advapi32::CloseServiceHandle(service));
  EXPECT_TRUE(Advapi32::CloseServiceHandle(manager));
}

TEST(Advapi32Binding, AnUnloadableLibraryLetsTheProgramStartAndFailsEveryWrapper) {
  sim::Machine machine;
  machine.FailLoad("advapi32.dll");
  Advapi32::Binding binding;  // silent at start-up
  EXPECT_EQ(test::Raised([] { OpenManager(); }).Message(), kCannotLoadAdvapi);
  EXPECT_EQ(test::Raised([] { Advapi32::CloseServiceHandle(nullptr); }).ErrorCode, 0u);
  EXPECT_EQ(machine.FreeLibraryCalls(), 0);
}

TEST(Advapi32Binding, ChoosesTheOtherLibraryOutsideTheNtFamily) {
  sim::Machine machine;
  machine.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  machine.version.dwMajorVersion = 4;
  machine.version.dwMinorVersion = 10;
  Advapi32::Binding binding;
  EXPECT_EQ(Advapi32::LibraryName(), "radmin32.dll");
  EXPECT_EQ(test::Raised([] { OpenManager(); }).Message(),
            "Cannot load library \"radmin32.dll\" or linked libraries");
}

TEST(Advapi32Binding, OnlyTheFirstInitializationBindsAndTheLastUnbinds) {
  sim::Machine machine;
  {
    Advapi32::Binding outer;
    {
      Advapi32::Binding inner;
      EXPECT_EQ(machine.LoadLibraryCalls(), 1);
    }
    EXPECT_EQ(machine.FreeLibraryCalls(), 0);
    SC_HANDLE manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    Advapi32::CloseServiceHandle(manager);
  }
  EXPECT_EQ(machine.FreeLibraryCalls(), 1);
  EXPECT_EQ(Advapi32::LibraryName(), "");
  EXPECT_THROW(OpenManager(), ENTException);
}

TEST(Advapi32Binding, AFailedVersionQueryAtStartUpIsNotCountedAsABinding) {
  {
    sim::Machine machine;
    machine.versionQueryFails = true;
    EXPECT_THROW(Advapi32::Binding binding, EOSError);
  }
  sim::Machine machine;
  Advapi32::Binding binding;
  EXPECT_EQ(Advapi32::LibraryName(), "advapi32.dll");
  SC_HANDLE manager = OpenManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_TRUE(Advapi32::CloseServiceHandle(manager));
}

}  // namespace
