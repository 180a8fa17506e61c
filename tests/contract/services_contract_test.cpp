// The service control manager as the service component drives it: open, enumerate with type
// and state masks in a fixed buffer following the resume position, stop, delete.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/raii.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

using Sc = qm::unique_service;

struct Listed {
  std::string display;
  DWORD type = 0;
  DWORD state = 0;
};

class ServicesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    name = world.UniqueName("QmContractSvc");
    display = "Qm Contract " + name;
    world.InstallRunningService(name, display);
    manager.reset(new Sc(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE)));
    ASSERT_TRUE(*manager) << GetLastError();
  }
  // Every service the masks select, read in buffers of bufferSize bytes as the service
  // component reads them (following the resume position while the answer is 234).
  std::map<std::string, Listed> Enumerate(DWORD types, DWORD states, DWORD bufferSize = 8192) {
    std::map<std::string, Listed> found;
    std::vector<std::uint64_t> storage(bufferSize / 8 + 1);
    auto* buffer = reinterpret_cast<ENUM_SERVICE_STATUSA*>(storage.data());
    DWORD resume = 0;
    for (int call = 0; call < 1000; ++call) {
      DWORD needed = 0, returned = 0;
      const BOOL ok = EnumServicesStatusA(manager->get(), types, states, buffer, bufferSize,
                                          &needed, &returned, &resume);
      const DWORD error = ok ? 0 : GetLastError();
      // Wine's ANSI enumeration counts, but does not fill, the records of a call that answers
      // 234; Windows fills them. Wine also leaves the display name null when a service has none.
      if (!ok && !World::Simulated()) returned = 0;
      for (DWORD i = 0; i < returned; ++i) {
        const char* shown = buffer[i].lpDisplayName ? buffer[i].lpDisplayName : "";
        EXPECT_TRUE(found.emplace(buffer[i].lpServiceName,
                                  Listed{shown, buffer[i].ServiceStatus.dwServiceType,
                                         buffer[i].ServiceStatus.dwCurrentState})
                        .second)
            << buffer[i].lpServiceName << " listed twice";
      }
      if (ok) return found;
      EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), error);
      EXPECT_GT(needed, 0u);
      if (error != ERROR_MORE_DATA || resume == 0) return found;
    }
    ADD_FAILURE() << "the enumeration does not end";
    return found;
  }
  Sc OpenOurs(DWORD rights) { return Sc(OpenServiceA(manager->get(), name.c_str(), rights)); }
  DWORD StateOfOurs() {
    Sc service = OpenOurs(SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    return QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
  }
  // Stops our service and waits (in the real world: for real, at most 10 s) until STOPPED.
  bool StopOurs() {
    Sc service = OpenOurs(SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return false;
    for (int i = 0; i < 200; ++i) {
      if (StateOfOurs() == SERVICE_STOPPED) return true;
      Sleep(50);
    }
    return false;
  }

  World world;
  std::string name, display;
  std::unique_ptr<Sc> manager;
};

// ---- opening

TEST_F(ServicesContract, OpeningAMissingServiceAnswers1060) {
  Sc service(OpenServiceA(manager->get(), "QmNoSuchServiceAnywhere", SERVICE_ALL_ACCESS));
  EXPECT_FALSE(service);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
}

TEST_F(ServicesContract, ServiceKeyNamesOpenWithoutRegardToCase) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Sc service(OpenServiceA(manager->get(), upper.c_str(), SERVICE_QUERY_STATUS));
  EXPECT_TRUE(service) << GetLastError();
}

// ---- enumeration

TEST_F(ServicesContract, AWin32EnumerationOfAllStatesListsTheRunningService) {
  const auto found = Enumerate(SERVICE_WIN32, SERVICE_STATE_ALL);
  ASSERT_EQ(1u, found.count(name));
  EXPECT_EQ(display, found.at(name).display);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), found.at(name).state);
  EXPECT_TRUE(found.at(name).type & SERVICE_WIN32_OWN_PROCESS);
}

TEST_F(ServicesContract, TheStateMaskSelectsActiveOrInactiveServices) {
  EXPECT_EQ(1u, Enumerate(SERVICE_WIN32, SERVICE_ACTIVE).count(name));
  EXPECT_EQ(0u, Enumerate(SERVICE_WIN32, SERVICE_INACTIVE).count(name));
  ASSERT_TRUE(StopOurs());
  EXPECT_EQ(0u, Enumerate(SERVICE_WIN32, SERVICE_ACTIVE).count(name));
  EXPECT_EQ(1u, Enumerate(SERVICE_WIN32, SERVICE_INACTIVE).count(name));
}

TEST_F(ServicesContract, TheDriverMaskLeavesWin32ServicesOut) {
  const auto drivers = Enumerate(SERVICE_DRIVER, SERVICE_STATE_ALL);
  EXPECT_EQ(0u, drivers.count(name));
  for (const auto& entry : drivers) EXPECT_FALSE(entry.second.type & SERVICE_WIN32) << entry.first;
}

TEST_F(ServicesContract, SmallBuffersFollowingTheResumePositionListTheSameServices) {
  const auto whole = Enumerate(SERVICE_WIN32, SERVICE_STATE_ALL);
  const auto pieces = Enumerate(SERVICE_WIN32, SERVICE_STATE_ALL, 200);
  for (const auto& entry : pieces) EXPECT_EQ(1u, whole.count(entry.first)) << entry.first;
  if (World::Simulated()) {
    // Under Wine the records of the calls that answer 234 are lost (see Enumerate).
    EXPECT_EQ(whole.size(), pieces.size());
  }
}

TEST_F(ServicesContract, ABufferTooSmallForOneRecordAnswers234WithTheBytesNeeded) {
  ENUM_SERVICE_STATUSA one[1];
  DWORD needed = 0, returned = 0, resume = 0;
  EXPECT_FALSE(EnumServicesStatusA(manager->get(), SERVICE_WIN32, SERVICE_STATE_ALL, one, 8,
                                   &needed, &returned, &resume));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
  EXPECT_EQ(0u, returned);
  EXPECT_GT(needed, sizeof(ENUM_SERVICE_STATUSA));
}

TEST_F(ServicesContract, RecordsComeFirstAndTheirTextsLieInTheBufferAfterThem) {
  std::vector<std::uint64_t> storage(65536 / 8);
  auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(storage.data());
  DWORD needed = 0, returned = 0, resume = 0;
  ASSERT_TRUE(EnumServicesStatusA(manager->get(), SERVICE_WIN32, SERVICE_STATE_ALL, records, 65536,
                                  &needed, &returned, &resume))
      << GetLastError();
  const char* begin = reinterpret_cast<const char*>(records + returned);
  const char* end = reinterpret_cast<const char*>(storage.data()) + 65536;
  for (DWORD i = 0; i < returned; ++i) {
    EXPECT_TRUE(records[i].lpServiceName >= begin && records[i].lpServiceName < end);
    EXPECT_TRUE(records[i].lpDisplayName >= begin && records[i].lpDisplayName < end);
  }
}

TEST_F(ServicesContract, EnumeratingThroughAConnectOnlyManagerIsDenied) {
  Sc connect(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  ASSERT_TRUE(connect);
  std::vector<std::uint64_t> storage(1024);
  DWORD needed = 0, returned = 0, resume = 0;
  EXPECT_FALSE(EnumServicesStatusA(connect.get(), SERVICE_WIN32, SERVICE_STATE_ALL,
                                   reinterpret_cast<ENUM_SERVICE_STATUSA*>(storage.data()), 8192,
                                   &needed, &returned, &resume));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// ---- controls

TEST_F(ServicesContract, StopPassesThroughStopPendingToStopped) {
  Sc service = OpenOurs(SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED);
  bool stopped = false;
  for (int i = 0; i < 200 && !stopped; ++i) {
    stopped = StateOfOurs() == SERVICE_STOPPED;
    if (!stopped) Sleep(50);
  }
  EXPECT_TRUE(stopped);
}

TEST_F(ServicesContract, StoppingAStoppedServiceAnswers1062) {
  ASSERT_TRUE(StopOurs());
  Sc service = OpenOurs(SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
}

TEST_F(ServicesContract, AControlWithoutAServiceHandleAnswers6) {
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(nullptr, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(ServicesContract, AHandleWithoutTheStopRightCannotStop) {
  Sc service = OpenOurs(SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// ---- deletion

TEST_F(ServicesContract, DeletionMarksOnceAndTheServiceGoesWithItsKeyAtTheLastHandle) {
  ASSERT_TRUE(StopOurs());
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
  HKEY probe = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &probe));
  RegCloseKey(probe);
  {
    Sc first = OpenOurs(SERVICE_ALL_ACCESS);
    Sc second = OpenOurs(SERVICE_ALL_ACCESS);
    ASSERT_TRUE(DeleteService(first.get())) << GetLastError();
    EXPECT_FALSE(DeleteService(second.get()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
  }
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    Sc again = OpenOurs(SERVICE_QUERY_STATUS);
    gone = !again && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    if (!gone) Sleep(50);
  }
  EXPECT_TRUE(gone);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &probe));
}

}  // namespace
