/* Kill shim for stress.py, loaded with LD_PRELOAD into quenfar.
 *
 * KILLSHIM_CALL=unlink|rename|fsync  the family of calls to count
 * KILLSHIM_N=k                        raise SIGKILL at the k-th call of that family
 * KILLSHIM_WHEN=before|after          right before the real call, or right after it
 * KILLSHIM_REPORT=path                at exit, write "unlink U rename R fsync F" there
 *
 * unlink: unlink, unlinkat, remove; rename: rename, renameat, renameat2;
 * fsync: fsync, fdatasync, syncfs. Only the process that loaded the shim counts: the
 * variables are taken out of the environment at load time, so event commands run clean. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { UNLINK, RENAME, FSYNC, FAMILIES };
static const char *names[FAMILIES] = {"unlink", "rename", "fsync"};
static long counts[FAMILIES];
static int target = -1;
static long targetN;
static int after;
static pid_t owner;
static char report[4096];

__attribute__((constructor)) static void shimInit(void) {
  const char *call = getenv("KILLSHIM_CALL");
  const char *n = getenv("KILLSHIM_N");
  const char *when = getenv("KILLSHIM_WHEN");
  const char *rep = getenv("KILLSHIM_REPORT");
  for (int i = 0; call && i < FAMILIES; ++i)
    if (strcmp(call, names[i]) == 0) target = i;
  targetN = n ? atol(n) : 0;
  after = when && strcmp(when, "after") == 0;
  if (rep) snprintf(report, sizeof report, "%s", rep);
  owner = getpid();
  unsetenv("LD_PRELOAD");
  unsetenv("KILLSHIM_CALL");
  unsetenv("KILLSHIM_N");
  unsetenv("KILLSHIM_WHEN");
  unsetenv("KILLSHIM_REPORT");
}

__attribute__((destructor)) static void shimReport(void) {
  if (report[0] == '\0' || getpid() != owner) return;
  FILE *out = fopen(report, "w");
  if (!out) return;
  fprintf(out, "unlink %ld rename %ld fsync %ld\n", counts[UNLINK], counts[RENAME], counts[FSYNC]);
  fclose(out);
}

/* Counts one call of `family`; kills the process when it is the chosen one. */
static void step(int family, int isAfter) {
  if (getpid() != owner) return;
  if (!isAfter) ++counts[family];
  if (family == target && counts[family] == targetN && isAfter == after) raise(SIGKILL);
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))
#define WRAP(family, name, call)         \
  step(family, 0);                       \
  int result = REAL(name) call;          \
  step(family, 1);                       \
  return result;

int unlink(const char *path) { WRAP(UNLINK, unlink, (path)) }
int unlinkat(int dir, const char *path, int flags) { WRAP(UNLINK, unlinkat, (dir, path, flags)) }
int remove(const char *path) { WRAP(UNLINK, remove, (path)) }
int rename(const char *from, const char *to) { WRAP(RENAME, rename, (from, to)) }
int renameat(int fromDir, const char *from, int toDir, const char *to) {
  WRAP(RENAME, renameat, (fromDir, from, toDir, to))
}
int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags) {
  WRAP(RENAME, renameat2, (fromDir, from, toDir, to, flags))
}
int fsync(int fd) { WRAP(FSYNC, fsync, (fd)) }
int fdatasync(int fd) { WRAP(FSYNC, fdatasync, (fd)) }
int syncfs(int fd) { WRAP(FSYNC, syncfs, (fd)) }
