/* A memory card's store that changes what it is given: a FUSE file system serving one file, "card.img", kept
 * in a backing file, that inverts one byte of a given sector on the way to the store. The sector is told by
 * its contents: one written that starts like the file SECTOR_FILE (its first 512 bytes) is stored with its
 * byte 100 inverted. A file's data starts on a sector of its own in FAT and ext2 alike, so under a loop
 * device with a file system, a card whose files include one starting like SECTOR_FILE reads back other bytes
 * than were written, whatever the file system's layout.
 *
 *   flipping-store BACKING MOUNTPOINT SECTOR_FILE [failing-sync]
 *
 * With failing-sync, every fsync and fdatasync of the file fails with EIO, as a disk's does when the data
 * cannot be put on it; the writes themselves succeed.
 * SECTOR_FILE "-" stores every byte as given. Runs in the foreground, single-threaded, until unmounted
 * (fusermount3 -u MOUNTPOINT or umount). Every open is direct I/O: no page cache keeps the bytes as written,
 * so every read fetches what the store holds. */
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char kName[] = "/card.img";
static int backing = -1;
enum { kSector = 512, kFlipped = 100 };
static char sector[kSector];
static int flipping = 0;
static int failing_sync = 0;

static int store_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  memset(st, 0, sizeof *st);
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  if (strcmp(path, kName) != 0) return -ENOENT;
  struct stat real;
  if (fstat(backing, &real) != 0) return -errno;
  st->st_mode = S_IFREG | 0600;
  st->st_nlink = 1;
  st->st_size = real.st_size;
  return 0;
}

static int store_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                         struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset, (void)fi, (void)flags;
  if (strcmp(path, "/") != 0) return -ENOENT;
  fill(buf, ".", NULL, 0, 0);
  fill(buf, "..", NULL, 0, 0);
  fill(buf, kName + 1, NULL, 0, 0);
  return 0;
}

static int store_open(const char* path, struct fuse_file_info* fi) {
  if (strcmp(path, kName) != 0) return -ENOENT;
  fi->direct_io = 1;
  return 0;
}

static int store_read(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
  (void)path, (void)fi;
  const ssize_t n = pread(backing, buf, size, offset);
  return n < 0 ? -errno : (int)n;
}

static int store_write(const char* path, const char* buf, size_t size, off_t offset,
                       struct fuse_file_info* fi) {
  (void)path, (void)fi;
  /* The loop device passes whole sectors; the buffer is the kernel's, so a changed write is a copy. */
  char* changed = NULL;
  for (size_t at = (size_t)((kSector - offset % kSector) % kSector); flipping && at + kSector <= size;
       at += kSector) {
    if (memcmp(buf + at, sector, kSector) != 0) continue;
    if (!changed) {
      if (!(changed = malloc(size))) return -ENOMEM;
      memcpy(changed, buf, size);
    }
    changed[at + kFlipped] ^= (char)0xFF;
  }
  const ssize_t n = pwrite(backing, changed ? changed : buf, size, offset);
  const int error = errno;
  free(changed);
  return n < 0 ? -error : (int)n;
}

static int store_fsync(const char* path, int datasync, struct fuse_file_info* fi) {
  (void)path, (void)fi;
  if (failing_sync) return -EIO;
  return (datasync ? fdatasync(backing) : fsync(backing)) != 0 ? -errno : 0;
}

static const struct fuse_operations operations = {
    .getattr = store_getattr,
    .readdir = store_readdir,
    .open = store_open,
    .read = store_read,
    .write = store_write,
    .fsync = store_fsync,
};

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && strcmp(argv[4], "failing-sync") == 0)) {
    fprintf(stderr, "usage: %s BACKING MOUNTPOINT SECTOR_FILE|- [failing-sync]\n", argv[0]);
    return 2;
  }
  failing_sync = argc == 5;
  if (strcmp(argv[3], "-") != 0) {
    FILE* file = fopen(argv[3], "rb");
    if (!file || fread(sector, 1, kSector, file) != kSector) {
      fprintf(stderr, "flipping-store: %s: cannot read its first %d bytes\n", argv[3], kSector);
      return 2;
    }
    fclose(file);
    flipping = 1;
  }
  backing = open(argv[1], O_RDWR | O_CLOEXEC);
  if (backing < 0) {
    perror(argv[1]);
    return 1;
  }
  char* fuse_argv[] = {argv[0], "-f", "-s", "-o", "fsname=flipping-store", argv[2], NULL};
  return fuse_main(6, fuse_argv, &operations, NULL);
}
