#!/usr/bin/env bash
# A prebuilt updater configured by qzupdate-release (QZ_RELEASE_TOOL): it asks the address
# it was configured with, never the one it was built with, and trusts only the configured
# key: a release signed by another key is refused at the check, the vendor's downloads.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
tool=${QZ_RELEASE_TOOL:?QZ_RELEASE_TOOL names qzupdate-release}
rw_make_install

# The release moves to an address of its own; the built-in one now answers 404.
moved=$RW_WORK/server/Elsewhere/Vq
mkdir -p "$RW_WORK/server/Elsewhere"
mv "$RW_SERVER_FOLDER" "$moved"
key_of() {
  "$tool" keygen "$RW_WORK/$1.key" | sed -n 's/.*--public-key //p'
}
vendor=$(key_of vendor)
stranger=$(key_of stranger)
[ -n "$vendor" ] && [ -n "$stranger" ] || rw_fail "keygen printed no public key"
"$tool" sign --key "$RW_WORK/vendor.key" --days 1 "$moved" >/dev/null || rw_fail "cannot sign"
rw_start_server

configure() {
  "$tool" configure "$RW_INSTALL/$RW_UPDATER_NAME" --public-key "$1" \
    --base-url "http://$LN_HOST:$LN_PORT/Elsewhere/" >>"$RW_WORK/configure.log" ||
    rw_fail "cannot configure the updater"
}

configure "$stranger"
rw_start_updater /Verbose
rw_window "No Version Info ..." "$RW_PID"
rw_shot refused
kill -9 "$RW_PID"
wait "$RW_PID" 2>/dev/null

configure "$vendor"
rw_start_updater /Verbose
rw_window "Download Update" "$RW_PID"
deadline=$((SECONDS + 60))
until rw_requests | grep -q "^GET /Elsewhere/Vq/Data.TXT 200"; do
  [ $SECONDS -lt $deadline ] || rw_fail "the signed update was not downloaded: $(rw_requests)"
  rw_no_error_box
  sleep 0.2
done
kill -9 "$RW_PID"
wait "$RW_PID" 2>/dev/null

# Signed member by member, the archive comes as its changed members: range requests only.
expected="GET /Elsewhere/Vq/Version.INF 200
GET /Elsewhere/Vq/Version.INF 200
GET /Elsewhere/Vq/Data.TXT 200"
requests=$(rw_requests | cut -d' ' -f1-3)
[ "$(grep -v ' /Elsewhere/Vq/VQ.Zip ' <<<"$requests")" = "$expected" ] &&
  [ "$(grep ' /Elsewhere/Vq/VQ.Zip ' <<<"$requests" | sort -u)" = "GET /Elsewhere/Vq/VQ.Zip 206" ] ||
  rw_fail "unexpected requests to the server: $(rw_requests | tr '\n' ';')"
rw_pass
