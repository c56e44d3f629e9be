// What Linux can tell about a serial device that could not be used: who holds it (from
// /proc/locks, or the descriptors under /proc), which group may open it, the names it has
// under /dev/serial/by-id, and which ports exist. Nothing here opens a device.
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DevicePath.h"
#include "PortList.h"
#include "SerialDevice.h"

#define MAX_HOLDERS_NAMED 3

void SerialDevice_ErrorText(SerialOutcome outcome, int32_t systemError, char* text, size_t size) {
    if (systemError == 0) {
        snprintf(text, size, "%s", "");
    } else if (outcome == SERIAL_HELD && systemError == EWOULDBLOCK) {
        // flock's own text, "Resource temporarily unavailable", would say nothing alone.
        snprintf(text, size, "%s (flock)", strerror(systemError));
    } else {
        snprintf(text, size, "%s", strerror(systemError));
    }
}

static bool sameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The process whose flock (or lock of any kind) /proc/locks shows on the device; 0 when none.
static long lockHolder(const struct stat& device) {
    FILE* const locks = fopen("/proc/locks", "r");
    if (!locks) return 0;
    long holder = 0;
    char line[256];
    while (holder == 0 && fgets(line, sizeof line, locks)) {
        char kind[16];
        long pid;
        unsigned lockMajor;
        unsigned lockMinor;
        unsigned long inode;
        // "1: FLOCK  ADVISORY  WRITE 4242 00:1b:4 0 EOF"; a waiter's line has "->" as kind.
        if (sscanf(line, "%*[^:]: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &lockMajor, &lockMinor, &inode) != 5)
            continue;
        if (strcmp(kind, "->") != 0 && pid > 0 && lockMajor == major(device.st_dev) &&
            lockMinor == minor(device.st_dev) && inode == device.st_ino)
            holder = pid;
    }
    fclose(locks);
    return holder;
}

static bool isNumber(const char* name) {
    if (!*name) return false;
    for (const char* c = name; *c; ++c)
        if (*c < '0' || *c > '9') return false;
    return true;
}

static bool hasDeviceOpen(const char* pid, const struct stat& device) {
    char fdDir[300];
    snprintf(fdDir, sizeof fdDir, "/proc/%s/fd", pid);
    DIR* const fds = opendir(fdDir);  // only the user's own processes let us in
    if (!fds) return false;
    bool found = false;
    while (const struct dirent* const entry = found ? nullptr : readdir(fds)) {
        char fdPath[600];
        struct stat opened;
        snprintf(fdPath, sizeof fdPath, "%s/%s", fdDir, entry->d_name);
        found = isNumber(entry->d_name) && stat(fdPath, &opened) == 0 && sameFile(opened, device);
    }
    closedir(fds);
    return found;
}

// The processes, other than this one, that have the device open; how many were found.
static int processesWithDeviceOpen(const struct stat& device, long* pids, int capacity) {
    DIR* const proc = opendir("/proc");
    if (!proc) return 0;
    int count = 0;
    const long self = static_cast<long>(getpid());
    while (const struct dirent* const entry = count < capacity ? readdir(proc) : nullptr) {
        if (!isNumber(entry->d_name)) continue;
        const long pid = strtol(entry->d_name, nullptr, 10);
        if (pid != self && hasDeviceOpen(entry->d_name, device)) pids[count++] = pid;
    }
    closedir(proc);
    return count;
}

// "picocom (process 4242)", or "process 4242" when its name cannot be read.
static void appendProcess(long pid, char* text, size_t size) {
    char commPath[64];
    char name[64] = "";
    snprintf(commPath, sizeof commPath, "/proc/%ld/comm", pid);
    if (FILE* const comm = fopen(commPath, "r")) {
        if (!fgets(name, sizeof name, comm)) name[0] = '\0';
        fclose(comm);
    }
    name[strcspn(name, "\n")] = '\0';
    const size_t used = strlen(text);
    if (used + 1 >= size) return;
    if (name[0]) {
        snprintf(text + used, size - used, "%s%s (process %ld)", used ? ", " : "", name, pid);
    } else {
        snprintf(text + used, size - used, "%sprocess %ld", used ? ", " : "", pid);
    }
}

BOOL SerialDevice_Holder(int nId, char* text, size_t size) {
    char path[SERIAL_DEVICE_NAME_SIZE];
    struct stat device;
    if (size == 0 || !devicePath(nId, path, sizeof path) || stat(path, &device) != 0) return FALSE;
    text[0] = '\0';
    long pids[MAX_HOLDERS_NAMED];
    int count = 0;
    // A flock names its holder; TIOCEXCL does not, so then every process with the device
    // open is a candidate.
    pids[0] = lockHolder(device);
    if (pids[0] > 0) {
        count = 1;
    } else {
        count = processesWithDeviceOpen(device, pids, MAX_HOLDERS_NAMED);
    }
    for (int i = 0; i < count; ++i) appendProcess(pids[i], text, size);
    return count > 0 ? TRUE : FALSE;
}

static void nameOfGroup(gid_t gid, char* name, size_t size) {
    struct group entry;
    struct group* found = nullptr;
    char buffer[4096];
    if (getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
        snprintf(name, size, "%s", found->gr_name);
    } else {
        snprintf(name, size, "%lu", static_cast<unsigned long>(gid));
    }
}

static void nameOfUser(uid_t uid, char* name, size_t size) {
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
        snprintf(name, size, "%s", found->pw_name);
    } else {
        snprintf(name, size, "%lu", static_cast<unsigned long>(uid));
    }
}

// Serial devices are opened by the members of the group that owns them (dialout on
// Debian and Ubuntu, uucp on Arch); membership takes effect at the next login.
BOOL SerialDevice_PermissionAdvice(int nId, char* text, size_t size) {
    char path[SERIAL_DEVICE_NAME_SIZE];
    struct stat device;
    if (!devicePath(nId, path, sizeof path)) return FALSE;
    if (stat(path, &device) != 0) {
        if (errno != EACCES) return FALSE;
        snprintf(text, size, "%s", "A directory on the way to the device is closed to this user.");
        return TRUE;
    }
    char group[256];
    nameOfGroup(device.st_gid, group, sizeof group);
    const mode_t readWrite = S_IRGRP | S_IWGRP;
    if ((device.st_mode & readWrite) == readWrite && device.st_gid != 0) {
        snprintf(text, size,
                 "The device belongs to group %s: add yourself with \"sudo usermod -aG %s $USER\", "
                 "then log in again.",
                 group, group);
    } else {
        char owner[256];
        nameOfUser(device.st_uid, owner, sizeof owner);
        snprintf(text, size, "Its permissions (owner %s, group %s, mode %04o) leave this user out.", owner, group,
                 static_cast<unsigned>(device.st_mode & 07777));
    }
    return TRUE;
}

// The entry of /dev/serial/by-id that leads to device (a resolved path): the adapter's
// maker, model and serial number.
static bool byIdName(const char* device, char* name, size_t size) {
    DIR* const byId = opendir("/dev/serial/by-id");
    if (!byId) return false;
    bool found = false;
    while (const struct dirent* const entry = found ? nullptr : readdir(byId)) {
        if (entry->d_name[0] == '.') continue;
        char link[512];
        char target[PATH_MAX];
        snprintf(link, sizeof link, "/dev/serial/by-id/%s", entry->d_name);
        if (realpath(link, target) && strcmp(target, device) == 0) {
            snprintf(name, size, "%s", entry->d_name);
            found = true;
        }
    }
    closedir(byId);
    return found;
}

// "/tmp/units/COM1 -> /dev/ttyUSB0 (usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0)"
void SerialDevice_Describe(int nId, char* text, size_t size) {
    char path[SERIAL_DEVICE_NAME_SIZE];
    if (size == 0) return;
    text[0] = '\0';
    if (!devicePath(nId, path, sizeof path)) return;
    char resolved[PATH_MAX];
    const bool isResolved = realpath(path, resolved) != nullptr;
    struct stat entry;
    const bool isLink = lstat(path, &entry) == 0 && S_ISLNK(entry.st_mode);
    char alias[256];
    const bool hasAlias = isResolved && byIdName(resolved, alias, sizeof alias);
    if (isLink && isResolved) {
        snprintf(text, size, "%s -> %s", path, resolved);
    } else if (isLink) {
        char target[PATH_MAX];
        const ssize_t length = readlink(path, target, sizeof target - 1);
        target[length > 0 ? length : 0] = '\0';
        snprintf(text, size, "%s -> %s", path, target);
    } else {
        snprintf(text, size, "%s", path);
    }
    if (hasAlias) {
        const size_t used = strlen(text);
        snprintf(text + used, size - used, " (%s)", alias);
    }
}

// The links of COM_PORT_DIR (a link to nothing included: it names an unplugged adapter),
// or the devices of the fixed table that exist.
int SerialDevice_ListPorts(int32_t* numbers, int capacity) {
    int count = 0;
    if (sampleRuleRefusesPorts()) return 0;
    const char* const dir = portDirectory();
    if (dir) {
        DIR* const ports = opendir(dir);
        if (!ports) return 0;
        while (const struct dirent* const entry = readdir(ports)) {
            const int number = PortList_NumberOf(entry->d_name);
            if (number > 0) PortList_Insert(number, numbers, &count, capacity);
        }
        closedir(ports);
        return count;
    }
    for (int nId = 1; nId <= 32; ++nId) {
        char path[64];
        struct stat entry;
        if (devicePath(nId, path, sizeof path) && lstat(path, &entry) == 0)
            PortList_Insert(nId, numbers, &count, capacity);
    }
    return count;
}

void SerialDevice_SampleRule(char* text, size_t size) {
    snprintf(text, size, "%s",
             "This build carries the synthetic sample images and opens only the simulated ports under "
             "COM_PORT_DIR, which is not set: it never opens a real device.");
}

void SerialDevice_NoPortAdvice(char* text, size_t size) {
    const char* const dir = portDirectory();
    if (dir) {
        snprintf(text, size, "COM_PORT_DIR (%s) holds no COMn link.", dir);
    } else {
        snprintf(text, size, "%s",
                 "none of /dev/ttyUSB0-7, /dev/ttyACM0-7 and /dev/ttyS0-15 exists. Check that the adapter is "
                 "plugged in and that its driver is loaded (dmesg names the device it makes).");
    }
}
