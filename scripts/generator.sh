# generator_for BUILD-DIR: "-G Ninja" for a new build folder when ninja is
# there, else nothing (a folder keeps the generator it was made with). Ninja
# compiles a library's files while the libraries it uses are still linking,
# which keeps both cores busy where make waits at every library.
generator_for() {
  if [ ! -f "$1/CMakeCache.txt" ] && command -v ninja >/dev/null; then echo "-G Ninja"; fi
}
