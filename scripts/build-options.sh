# What the build scripts share (sourced by build.sh and test.sh).

# The Release build: -O2, as the default build compiles, without debug
# information, which would double the compile time.
release_options=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")

# generator_for BUILD-DIR: "-G Ninja" for a new build folder when ninja is
# there, else nothing (a folder keeps the generator it was made with). Ninja
# compiles a library's files while the libraries it uses are still linking,
# which keeps both cores busy where make waits at every library.
generator_for() {
  if [ ! -f "$1/CMakeCache.txt" ] && command -v ninja >/dev/null; then echo "-G Ninja"; fi
}
