/* A program built without any hardening, for the hardening check's own test.
   Built hardened, its code would show every protection (a local array, a
   copy of unknown length into it, a formatted print), so their absence in
   the file is the build's doing. */
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  char name[64] = "";
  if (argc > 1 && strlen(argv[1]) < sizeof name) {
    memcpy(name, argv[1], strlen(argv[1]));
  }
  printf("%d %s\n", argc, name);
  return 0;
}
