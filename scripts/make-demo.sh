#!/usr/bin/env bash
# Makes a fresh sample Vq installation and the update server's files for it.
#
#   scripts/make-demo.sh [--out DIR] [--updater FILE] [--standin FILE] [--with-mdf]
#                        [--stale-lock] [--base-path PATH] [--windows]
#
#   DIR/install/   the installation as Vq leaves it: the updater qzupdate and its
#                  extraction library libunzip32.so, Version.INF (Vq 1.2.0), Vq.exe (the
#                  host stand-in), Data.Mdb, with --with-mdf also VqData.Mdf, with
#                  --stale-lock a Config.ldb that nobody holds (as after a crash of Vq).
#   DIR/server/    the update server's folder, to be served by qzupdate-demo-server:
#                  <PATH>/Vq/ with Version.INF (1.3.0), VQ.Zip (the new Vq.exe and
#                  Docs/WhatsNew.txt), Data.TXT and VqData.TXT.
#
# With --windows, FILE are the Windows programs (qzupdate.exe, vq-standin.exe): the
# installation holds qzupdate.exe and unzip32.dll, and ApplicationPath is the folder's
# name under Wine (Z:\...).
#
# Defaults: DIR is demo-output in the repository, FILE the programs in build/bin, PATH
# /Support/VqPrime/QzUFiles (the path of the compiled-in base address). Only DIR/install
# and DIR/server are replaced; everything else in DIR stays.
#
# The old and the new Vq.exe are copies of the stand-in, each stamped with a last line
# "VQ-VERSION=<version>" (the loader ignores bytes after the program image), so that they
# differ, and `Vq.exe --version` tells which one is installed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$repo/demo-output
updater=$repo/build/bin/qzupdate
standin=$repo/build/bin/vq-standin
with_mdf=0
stale_lock=0
base_path=/Support/VqPrime/QzUFiles
windows=0
installed_version=1.2.0
online_version=1.3.0

usage() { sed -n '2,21p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }

while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --updater) updater=$2; shift 2 ;;
    --standin) standin=$2; shift 2 ;;
    --with-mdf) with_mdf=1; shift ;;
    --stale-lock) stale_lock=1; shift ;;
    --base-path) base_path=$2; shift 2 ;;
    --windows) windows=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "make-demo.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done

for program in "$updater" "$standin"; do
  if [ ! -f "$program" ]; then
    echo "make-demo.sh: $program is missing; build first (cmake --build build)" >&2
    exit 1
  fi
done
command -v zip >/dev/null || { echo "make-demo.sh: zip is missing (scripts/install-deps.sh)" >&2; exit 1; }

# Text files of the system end their lines with CR LF.
crlf() { printf '%s\r\n' "$@"; }

stamped_standin() {  # <target> <version>
  cp "$standin" "$1"
  printf '\nVQ-VERSION=%s\n' "$2" >>"$1"
  chmod 755 "$1"
}

mkdir -p "$out"
out=$(cd "$out" && pwd)
install=$out/install
server_folder=$out/server${base_path%/}/Vq
rm -rf "$install" "$out/server"
mkdir -p "$install" "$server_folder"

# The installation.
updater_name=qzupdate library_name=libunzip32.so application_path=$install
if [ "$windows" = 1 ]; then
  updater_name=qzupdate.exe library_name=unzip32.dll
  application_path=Z:$(printf '%s' "$install" | tr / '\\')
fi
cp "$updater" "$install/$updater_name"
unzip_library=$(dirname "$updater")/$library_name
if [ -e "$unzip_library" ]; then
  cp "$unzip_library" "$install/$library_name"
else
  echo "make-demo.sh: warning: $unzip_library is missing; installing an update will fail" >&2
fi
crlf '"[Version Information]"' \
  '"ApplicationName=Vq"' \
  "\"ApplicationPath=$application_path\"" \
  "\"ApplicationVersion=$installed_version\"" \
  '"[End Of File]"' >"$install/Version.INF"
stamped_standin "$install/Vq.exe" "$installed_version"
crlf "Vq sample database $installed_version" >"$install/Data.Mdb"
if [ "$with_mdf" = 1 ]; then
  crlf "Vq sample SQL Server data $installed_version" >"$install/VqData.Mdf"
fi
if [ "$stale_lock" = 1 ]; then
  crlf "left behind by a Vq that crashed" >"$install/Config.ldb"
fi

# The update server's files.
crlf '"[Version Information]"' \
  '"ApplicationName=Vq"' \
  "\"ApplicationVersion=$online_version\"" \
  '"[End Of File]"' >"$server_folder/Version.INF"
archive_content=$(mktemp -d)
trap 'rm -rf "$archive_content"' EXIT
mkdir -p "$archive_content/Docs"
stamped_standin "$archive_content/Vq.exe" "$online_version"
crlf "What is new in Vq $online_version:" "- the sample update of the QzUpdate demo" \
  >"$archive_content/Docs/WhatsNew.txt"
# A large file that this release leaves as it is: only the changed Vq.exe (and the new
# notes) need to travel, which the demo's summary shows against the archive's size.
head -c 3000000 /dev/urandom >"$archive_content/VqReports.dll"
cp "$archive_content/VqReports.dll" "$install/VqReports.dll"
(cd "$archive_content" && zip -q -X -D "$server_folder/VQ.Zip" Vq.exe VqReports.dll Docs/WhatsNew.txt)
crlf "Vq sample database $online_version" >"$server_folder/Data.TXT"
crlf "Vq sample SQL Server data $online_version" >"$server_folder/VqData.TXT"

echo "Sample installation (Vq $installed_version): $install"
echo "Update server files (Vq $online_version):    $server_folder"
