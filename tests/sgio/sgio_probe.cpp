// Drives the preloaded SG_IO library the way Wine does: SG_IO ioctls on device files whose names
// say the drive letter, in a process started with LD_PRELOAD. Checks what the kernel's SG_IO
// contract promises (status, sense, residual count, errno), that every other request reaches the
// C library untouched, and what the simulator leaves behind: transcript lines and the bay file.
//   sgio_probe FOLDER   (an empty folder; exit code 0 when every check holds)
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  if (!ok) ++failures;
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string read_file(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

struct Request {
  const char* what;
  const char* device;  // file name in the folder
  unsigned char cdb[6];
  int direction;
  unsigned int length;
  unsigned char sense_room;
  unsigned int timeout_ms;
  int interface_id;
  // Expected
  int result;  // 0, the errno of a failed ioctl, or host_answer
  unsigned char status;
  unsigned char sense_written;
  int resid;
  long min_ms;  // the call lasts at least this long
};

// What the system itself answers, asked past the library: a kernel says ENOTTY for SG_IO on a plain
// file, while an emulator of 32-bit code may not know the request at all (ENOSYS).
constexpr int host_answer = -1;

constexpr Request requests[] = {
    // INQUIRY: the drive's identity, the whole buffer filled.
    {"inquiry", "tz594k-drive-D", {0x12, 0, 0, 0, 36, 0}, SG_DXFER_FROM_DEV, 36, 32, 5000, 'S', 0, 0x00, 0, 0, 0},
    // A buffer larger than the allocation length: the rest is the residual count.
    {"inquiry, short reply",
     "tz594k-drive-D",
     {0x12, 0, 0, 0, 36, 0},
     SG_DXFER_FROM_DEV,
     64,
     32,
     5000,
     'S',
     0,
     0x00,
     0,
     28,
     0},
    // Tray open: NOT READY, sense cut to the room the caller gave.
    {"test unit ready, tray open",
     "tz594k-drive-D",
     {0x00, 0, 0, 0, 0, 0},
     SG_DXFER_NONE,
     0,
     32,
     5000,
     'S',
     0,
     0x02,
     18,
     0,
     0},
    {"test unit ready, little sense room",
     "tz594k-drive-D",
     {0x00, 0, 0, 0, 0, 0},
     SG_DXFER_NONE,
     0,
     8,
     5000,
     'S',
     0,
     0x02,
     8,
     0,
     0},
    // Closing the tray takes the drive's tray time (tray-ms=40) and changes what the bay keeps.
    {"start stop unit, close",
     "tz594k-drive-D",
     {0x1B, 0, 0, 0, 3, 0},
     SG_DXFER_NONE,
     0,
     32,
     5000,
     'S',
     0,
     0x00,
     0,
     0,
     40},
    // Requests the block layer refuses never reach the drive.
    {"wrong interface", "tz594k-drive-D", {0x00, 0, 0, 0, 0, 0}, SG_DXFER_NONE, 0, 32, 5000, 'Q', EINVAL, 0, 0, 0, 0},
    {"data phase without direction",
     "tz594k-drive-D",
     {0x12, 0, 0, 0, 36, 0},
     SG_DXFER_NONE,
     36,
     32,
     5000,
     'S',
     EINVAL,
     0,
     0,
     0,
     0},
    {"data phase too long",
     "tz594k-drive-D",
     {0x12, 0, 0, 0, 36, 0},
     SG_DXFER_FROM_DEV,
     0x10001,
     32,
     5000,
     'S',
     EIO,
     0,
     0,
     0,
     0},
    // Delivery faults: the ioctl fails, so DeviceIoControl fails; a hang only after its time-out.
    {"request that never reaches the drive",
     "tz594k-drive-E",
     {0x00, 0, 0, 0, 0, 0},
     SG_DXFER_NONE,
     0,
     32,
     5000,
     'S',
     EIO,
     0,
     0,
     0,
     0},
    {"drive that never answers",
     "tz594k-drive-E",
     {0x12, 0, 0, 0, 36, 0},
     SG_DXFER_FROM_DEV,
     36,
     32,
     60,
     'S',
     ETIMEDOUT,
     0,
     0,
     0,
     60},
    // GOOD with a data phase that moved nothing: the whole length is the residual count.
    {"GOOD with no data",
     "tz594k-drive-G",
     {0x12, 0, 0, 0, 36, 0},
     SG_DXFER_FROM_DEV,
     36,
     32,
     5000,
     'S',
     0,
     0x00,
     0,
     36,
     0},
    // GOOD with a data phase cut after 20 bytes: the rest is the residual count.
    {"GOOD with part of the data",
     "tz594k-drive-H",
     {0x12, 0, 0, 0, 36, 0},
     SG_DXFER_FROM_DEV,
     36,
     32,
     5000,
     'S',
     0,
     0x00,
     0,
     16,
     0},
    // A device file whose letter has no drive in the bay.
    {"letter without a drive",
     "tz594k-drive-F",
     {0x00, 0, 0, 0, 0, 0},
     SG_DXFER_NONE,
     0,
     32,
     5000,
     'S',
     ENXIO,
     0,
     0,
     0,
     0},
    // Any other file: the C library's SG_IO, answered as the system answers it.
    {"another file", "other-file", {0x00, 0, 0, 0, 0, 0}, SG_DXFER_NONE, 0, 32, 5000, 'S', host_answer, 0, 0, 0, 0},
};

void run(const std::string& folder, const Request& r) {
  const int fd = open((folder + "/" + r.device).c_str(), O_RDWR);
  if (fd < 0) {
    check(false, std::string(r.what) + ": open");
    return;
  }
  unsigned char cdb[6];
  std::memcpy(cdb, r.cdb, sizeof(cdb));
  static unsigned char data[0x10001];
  unsigned char sense[32];
  std::memset(data, 0, sizeof(data));
  std::memset(sense, 0, sizeof(sense));
  sg_io_hdr h{};
  h.interface_id = r.interface_id;
  h.dxfer_direction = r.direction;
  h.cmd_len = sizeof(cdb);
  h.mx_sb_len = r.sense_room;
  h.dxfer_len = r.length;
  h.dxferp = r.length != 0 ? data : nullptr;
  h.cmdp = cdb;
  h.sbp = sense;
  h.timeout = r.timeout_ms;
  int wanted = r.result;
  if (wanted == host_answer) {
    sg_io_hdr direct = h;
    errno = 0;
    const long direct_rc = syscall(SYS_ioctl, fd, SG_IO, &direct);
    wanted = direct_rc == -1 ? errno : 0;
    check(wanted != 0, std::string(r.what) + ": the system refuses SG_IO here (" + std::strerror(wanted) + ")");
  }
  const auto start = std::chrono::steady_clock::now();
  errno = 0;
  const int rc = ioctl(fd, SG_IO, &h);
  const int error = errno;
  const long ms = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  close(fd);
  const std::string what = r.what;
  if (wanted != 0) {
    check(rc == -1 && error == wanted, what + ": fails with " + std::strerror(wanted) + " (got " + std::to_string(rc) +
                                           ", " + std::strerror(error) + ")");
  } else {
    check(rc == 0, what + ": the ioctl succeeds");
    check(h.status == r.status && h.masked_status == (r.status >> 1) && h.host_status == 0,
          what + ": status " + std::to_string(r.status) + " (got " + std::to_string(h.status) + ")");
    check(h.sb_len_wr == r.sense_written,
          what + ": " + std::to_string(r.sense_written) + " sense bytes (got " + std::to_string(h.sb_len_wr) + ")");
    check(h.resid == r.resid,
          what + ": residual count " + std::to_string(r.resid) + " (got " + std::to_string(h.resid) + ")");
    const bool checked = r.status != 0;
    check(((h.info & SG_INFO_CHECK) != 0) == checked && (h.driver_status == 0x08) == checked,
          what + ": info and driver status say whether sense came back");
  }
  if (r.min_ms != 0) {
    check(ms >= r.min_ms, what + ": lasts at least " + std::to_string(r.min_ms) + " ms (" + std::to_string(ms) + ")");
  }
  if (std::strcmp(r.what, "inquiry") == 0) {
    check(std::memcmp(data + 8, "KORVANTA", 8) == 0 && std::memcmp(data + 32, "1.00", 4) == 0,
          "inquiry: vendor KORVANTA, revision 1.00");
  }
  if (std::strcmp(r.what, "GOOD with no data") == 0) {
    check(std::all_of(data, data + 36, [](unsigned char b) { return b == 0; }),
          "GOOD with no data: the buffer untouched");
  }
  if (std::strcmp(r.what, "GOOD with part of the data") == 0) {
    check(std::memcmp(data + 8, "KORVANTA", 8) == 0 &&
              std::all_of(data + 20, data + 36, [](unsigned char b) { return b == 0; }),
          "GOOD with part of the data: the first 20 bytes came, the rest of the buffer untouched");
  }
  if (std::strcmp(r.what, "test unit ready, tray open") == 0) {
    check((sense[2] & 0x0F) == 0x02 && sense[12] == 0x3A && sense[13] == 0x02, "tray open: sense 02/3A/02");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: sgio_probe FOLDER\n", stderr);
    return 2;
  }
  const std::string folder = argv[1];
  // Without TZ594K_SIM the bay is the one beside the device files.
  write_file(folder + "/tz594k-bay.txt",
             "drive letter=D firmware=1.00 tray=open tray-ms=40\n"
             "drive at=1:0 letter=E firmware=0.90 tray=closed\n"
             "fault kind=tur action=fail\n"
             "fault kind=inquiry action=hang\n"
             "drive letter=G firmware=1.00 tray=open\n"
             "fault kind=inquiry action=short\n"
             "drive letter=H firmware=1.00 tray=open\n"
             "fault kind=inquiry action=short=20\n");
  for (const char* name : {"tz594k-drive-D", "tz594k-drive-E", "tz594k-drive-F", "tz594k-drive-G", "tz594k-drive-H"}) {
    write_file(folder + "/" + name, "");
  }
  write_file(folder + "/other-file", "12345");
  // The transcript is named in Windows form, as for wnaspi32.dll, through a prefix whose Z: is the root.
  const std::string prefix = folder + "/prefix";
  std::system(("mkdir -p '" + prefix + "/dosdevices' && ln -sfn / '" + prefix + "/dosdevices/z:'").c_str());
  setenv("WINEPREFIX", prefix.c_str(), 1);
  unsetenv("TZ594K_SIM");
  std::string windows = "Z:" + folder + "/transcript.txt";
  for (char& c : windows) c = c == '/' ? '\\' : c;
  setenv("TZ594K_SIM_TRANSCRIPT", windows.c_str(), 1);

  for (const Request& r : requests) run(folder, r);

  // Every other request on a device file of ours reaches the C library: FIONREAD on a plain file.
  const int fd = open((folder + "/other-file").c_str(), O_RDONLY);
  int pending = -1;
  check(ioctl(fd, FIONREAD, &pending) == 0 && pending == 5, "another request: answered by the C library");
  close(fd);
  const int ours = open((folder + "/tz594k-drive-D").c_str(), O_RDONLY);
  pending = -1;
  check(ioctl(ours, FIONREAD, &pending) == 0 && pending == 0,
        "another request on a device file of ours: the C library's");
  close(ours);

  // The digests of the data are the native tests' to check against the program's trace.
  std::string transcript = read_file(folder + "/transcript.txt");
  for (std::size_t at = transcript.find(" digest="); at != std::string::npos; at = transcript.find(" digest=", at)) {
    transcript.erase(at, 8 + 16);
  }
  check(transcript ==
            "D: cdb=120000002400 dir=in len=36 status=00 moved=36\n"
            "D: cdb=120000002400 dir=in len=64 status=00 moved=36\n"
            "D: cdb=000000000000 dir=none len=0 status=02 sense=02/3A/02 moved=0\n"
            "D: cdb=000000000000 dir=none len=0 status=02 sense=02/3A/02 moved=0\n"
            "D: cdb=1B0000000300 dir=none len=0 status=00 moved=0\n"
            "E: cdb=000000000000 dir=none len=0 status=fail moved=0\n"
            "E: cdb=120000002400 dir=in len=36 status=hang moved=0\n"
            "G: cdb=120000002400 dir=in len=36 status=00 moved=0\n"
            "H: cdb=120000002400 dir=in len=36 status=00 moved=20\n",
        "transcript: one line per command that reached a drive, with what its data phase moved");
  check(read_file(folder + "/tz594k-bay.txt").find("\ndrive letter=D firmware=1.00 tray=closed disc=no tray-ms=40\n") !=
            std::string::npos,
        "bay file: the closed tray is kept");

  // Someone else opens D's tray in the bay file while the drives run: the next request finds it
  // open (E's drive that never answered held the library far longer than it waits between looks
  // at the file).
  std::string bay = read_file(folder + "/tz594k-bay.txt");
  const std::string closed = "drive letter=D firmware=1.00 tray=closed disc=no";
  const std::size_t at = bay.find(closed);
  check(at != std::string::npos, "bay file: D's line found");
  if (at != std::string::npos) bay.replace(at, closed.size(), "drive letter=D firmware=1.00 tray=open disc=no");
  write_file(folder + "/tz594k-bay.txt", bay);
  unsigned char cdb[6] = {0x00, 0, 0, 0, 0, 0};
  unsigned char sense[32] = {};
  sg_io_hdr h{};
  h.interface_id = 'S';
  h.dxfer_direction = SG_DXFER_NONE;
  h.cmd_len = sizeof(cdb);
  h.mx_sb_len = sizeof(sense);
  h.cmdp = cdb;
  h.sbp = sense;
  h.timeout = 5000;
  const int drive_d = open((folder + "/tz594k-drive-D").c_str(), O_RDWR);
  check(ioctl(drive_d, SG_IO, &h) == 0 && h.status == 0x02 && (sense[2] & 0x0F) == 0x02 && sense[12] == 0x3A &&
            sense[13] == 0x02,
        "bay file: a tray opened in it by someone else is open at the next request (02/3A/02)");
  close(drive_d);
  return failures == 0 ? 0 : 1;
}
