#include "portadvice.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string GroupName(gid_t group)
{
    const struct group* entry = getgrgid(group);
    return entry != nullptr ? entry->gr_name : std::to_string(group);
}

// Group membership takes effect at login: this process carries the groups its session started with.
bool ProcessHasGroup(gid_t group)
{
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(std::max(getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return getegid() == group || std::find(groups.begin(), groups.end(), group) != groups.end();
}

// The user database's view, which already holds a group the user was added to after logging in.
bool UserListedInGroup(gid_t group)
{
    const passwd* user = getpwuid(geteuid());
    if (user == nullptr)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool HoldsOpen(const fs::path& process, const struct stat& device)
{
    std::error_code error;
    for (fs::directory_iterator fd(process / "fd", error); !error && fd != fs::directory_iterator();
         fd.increment(error)) {
        struct stat target = {};
        if (stat(fd->path().c_str(), &target) == 0 && SameFile(target, device))
            return true;
    }
    return false;
}

std::string ProcessName(const fs::path& process)
{
    std::ifstream comm(process / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

std::string PermissionAdvice(const std::string& path)
{
    struct stat device = {};
    if (stat(path.c_str(), &device) != 0)
        return {};
    const std::string group = GroupName(device.st_gid);
    if ((device.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return "The permissions of " + path + " let only its owner open it, not the members of its group " + group +
               ".";
    if (ProcessHasGroup(device.st_gid))
        return "You are in the group " + group + " that owns " + path + ", yet the system refused to open it.";
    if (UserListedInGroup(device.st_gid))
        return "You are in the group " + group + " that owns " + path +
               ", but only since your last login: log out and log in again (a new login is needed).";
    return "You are not in the group " + group + " that owns " + path + ". Add yourself with: sudo usermod -aG " +
           group + " $USER, then log out and log in again (a new login is needed).";
}

std::string BusyAdvice(const std::string& path)
{
    struct stat device = {};
    std::error_code error;
    if (stat(path.c_str(), &device) == 0) {
        for (fs::directory_iterator entry("/proc", error); !error && entry != fs::directory_iterator();
             entry.increment(error)) {
            const std::string pid = entry->path().filename().string();
            const bool process = std::all_of(pid.begin(), pid.end(), [](unsigned char c) { return std::isdigit(c); });
            if (process && HoldsOpen(entry->path(), device))
                return path + " is held by " + ProcessName(entry->path()) + " (process " + pid +
                       "): close that program and connect again.";
        }
    }
    return "Another program holds " + path + " (a serial monitor, ModemManager): close it and connect again.";
}
