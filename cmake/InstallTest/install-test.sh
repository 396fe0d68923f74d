#!/bin/bash
# Installs the build into a fresh prefix and builds the clients in client/ against it twice: once
# as a CMake project (find_package through CMAKE_PREFIX_PATH), once by hand with the pkg-config
# files (PKG_CONFIG_PATH). The main client must run and find its own trace in the engine's model;
# the others link one library each, to show that it brings what its headers need.
# Also checks the installed tree: versioned shared libraries with their SONAME, no test programs.
#
# usage: install-test.sh BUILD-DIR WORK-DIR CXX-COMPILER LIBDIR (the lib folder below the prefix)
set -euo pipefail

build=$1
work=$2
cxx=$3
libdir=$4
here=$(cd "$(dirname "$0")" && pwd)
prefix=$work/prefix

fail() { echo "install-test: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"

# Every file of the package where it belongs.
for file in bin/KivLogView2 bin/kivlog \
            "$libdir/libKivCommon.so" "$libdir/libKivLogSysMgr.so" "$libdir/libKivLog.a" "$libdir/libKivPlatform.a" \
            "$libdir/cmake/Kiv/KivConfig.cmake" "$libdir/cmake/Kiv/KivConfigVersion.cmake" \
            "$libdir/cmake/Kiv/KivTargets.cmake" \
            "$libdir/pkgconfig/KivLog.pc" "$libdir/pkgconfig/KivLogSysMgr.pc" "$libdir/pkgconfig/KivCommon.pc" \
            include/KivLog/TraceScope.h include/KivLogSysMgr/KivLogSysMgr.h include/KivCommon/KivCommon.h \
            include/KivObject/ComPtr.h include/KivPlatform/Status.h \
            share/applications/KivLogView2.desktop share/icons/hicolor/scalable/apps/KivLogView2.svg; do
  [ -e "$prefix/$file" ] || fail "not installed: $file"
done
for library in KivCommon KivLogSysMgr; do
  soname=$(readelf -d "$prefix/$libdir/lib$library.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [[ $soname =~ ^lib$library\.so\.[0-9]+$ ]] || fail "lib$library.so has the SONAME '$soname'"
  [ -f "$prefix/$libdir/$soname" ] || fail "$soname is missing"
done
if tests=$(find "$prefix" -iname '*test*' -o -iname '*bench*' -o -iname '*fuzz*' | grep .); then
  fail "test programs installed: $tests"
fi
# The installed programs find the installed libraries by themselves.
"$prefix/bin/kivlog" --help > /dev/null || fail "the installed kivlog does not start"

# Runs a client build in a folder of its own: its trace goes there.
run_client() {
  local client=$1 folder=$2
  mkdir -p "$folder/trace"
  cat > "$folder/client.log.xml" <<XML
<Settings>
	<FACTORY class="Kiv::Log::File::CLogFactory" autoflush="true" location="$folder/trace"/>
	<FILTERLIST>
		<FILTER subject="Client" minlevel="0" maxlevel="10"/>
	</FILTERLIST>
</Settings>
XML
  "$client" "$folder/client.log.xml" "$folder/trace" || fail "$client failed"
}

# With find_package, as a CMake project.
cmake -S "$here/client" -B "$work/cmake-client" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" > "$work/cmake-client.log" \
  || { cat "$work/cmake-client.log"; fail "the client project does not configure"; }
cmake --build "$work/cmake-client" || fail "the client project does not build"
run_client "$work/cmake-client/KivInstallClient" "$work/cmake-run"
for program in EngineOnly CommonOnly; do
  "$work/cmake-client/$program" || fail "the find_package build of $program failed"
done

# With pkg-config, by hand: builds the program from source SOURCE with the flags of the modules.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
build_with_pkgconfig() {
  local program=$1 source=$2 flags
  shift 2
  flags=$(pkg-config --cflags --libs "$@") || fail "pkg-config does not know $*"
  # shellcheck disable=SC2086 # the flags are words
  "$cxx" -std=c++20 -o "$work/$program" "$here/client/$source" $flags -Wl,-rpath,"$prefix/$libdir" \
    || fail "$source does not build with the flags of $*: $flags"
}
build_with_pkgconfig pkgconfig-client KivInstallClient.cpp KivLogSysMgr KivLog
run_client "$work/pkgconfig-client" "$work/pkgconfig-run"
build_with_pkgconfig pkgconfig-engine-only EngineOnly.cpp KivLogSysMgr
build_with_pkgconfig pkgconfig-common-only CommonOnly.cpp KivCommon
for program in pkgconfig-engine-only pkgconfig-common-only; do
  "$work/$program" || fail "$program failed"
done
echo "install-test: both clients built against $prefix and ran"
