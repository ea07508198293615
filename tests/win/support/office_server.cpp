#include "support/office_server.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "platform/Error.h"
#include "tests/fakeoffice/FakeOfficeIds.h"

namespace querna::testing {

namespace {

using namespace querna::fakeoffice;

std::string ServerPath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + kDllName;
}

void SetDefault(const std::string& key, const char* name, const std::string& value) {
    win32::RegKey handle;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  handle.Put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(handle.Get(), name, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
    }
    ASSERT_EQ(status, ERROR_SUCCESS) << "registering " << key;
}

void RegisterClass(const std::string& clsid) {
    const std::string key = std::string("CLSID\\") + clsid + "\\InprocServer32";
    SetDefault(key, nullptr, ServerPath());
    SetDefault(key, "ThreadingModel", "Apartment");
}

}  // namespace

void RegisterFakeOffice() {
    SetDefault(std::string(kWordProgId) + "\\CLSID", nullptr, kWordClass);
    SetDefault(std::string(kPowerPointProgId) + "\\CLSID", nullptr, kPowerPointClass);
    RegisterClass(kWordClass);
    RegisterClass(kPowerPointClass);
    RegisterClass(kExcelClass);
}

void UnregisterFakeOffice() {
    for (const std::string& key :
         {std::string(kWordProgId), std::string(kPowerPointProgId),
          std::string("CLSID\\") + kWordClass, std::string("CLSID\\") + kPowerPointClass,
          std::string("CLSID\\") + kExcelClass}) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
    }
}

void OfficeEnvironment::SetUp() {
    apartment_ = new win32::ComApartment();
    RegisterFakeOffice();
}

void OfficeEnvironment::TearDown() {
    UnregisterFakeOffice();
    delete apartment_;
    apartment_ = nullptr;
}

OfficeScratch::OfficeScratch() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char unique[MAX_PATH];
    GetTempFileNameA(temp, "qof", 0, unique);
    // The name GetTempFileName reserved becomes the folder.
    DeleteFileA(unique);
    CreateDirectoryA(unique, nullptr);
    folder_ = std::string(unique) + "\\";
    log_ = folder_ + "calls.log";
    SetEnvironmentVariableA(kLogVariable, log_.c_str());
}

OfficeScratch::~OfficeScratch() {
    SetEnvironmentVariableA(kLogVariable, nullptr);
    WIN32_FIND_DATAA entry;
    const win32::FindHandle listing(FindFirstFileA((folder_ + "*").c_str(), &entry));
    for (bool more = static_cast<bool>(listing); more;
         more = FindNextFileA(listing.Get(), &entry)) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileA((folder_ + entry.cFileName).c_str());
        }
    }
    RemoveDirectoryA(folder_.c_str());
}

std::string OfficeScratch::WriteFixture(const std::string& name, const std::string& content) {
    const std::string path = folder_ + name;
    std::ofstream file(path, std::ios::binary);
    file << content;
    EXPECT_TRUE(file.good()) << "writing " << path;
    return path;
}

std::vector<std::string> OfficeScratch::Calls() const {
    std::ifstream file(log_, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void OfficeScratch::ClearLog() {
    DeleteFileA(log_.c_str());
}

long FakeOfficeLiveObjects() {
    const HMODULE server = GetModuleHandleA(kDllName);
    if (server == nullptr) return -1;
    // Through the generic function pointer type, as GetProcAddress's own type
    // does not match the export's.
    const auto count = reinterpret_cast<LiveObjectsFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(server, kLiveObjectsExport)));
    return count != nullptr ? count() : -1;
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const QuernaError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error was raised";
    return {};
}

}  // namespace querna::testing
