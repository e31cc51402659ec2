# Refuses a QZUPDATE_BASE_URL that the updater could not use as its base address, as
# `qzupdate-release configure` refuses one. Included by the settings' build, and run alone
# (cmake -DQZUPDATE_BASE_URL=... -P CheckBaseUrl.cmake) by a test.
if(NOT QZUPDATE_BASE_URL MATCHES "^https?://[^/\" ]+/([^\" ?#]*/)?$")
  message(FATAL_ERROR "QZUPDATE_BASE_URL must be an http or https address ending in /")
endif()
# Credentials would travel to every proxy on plain http and into the run log.
if(QZUPDATE_BASE_URL MATCHES "^https?://[^/]*@")
  message(FATAL_ERROR "QZUPDATE_BASE_URL may not hold a user name or password (user:password@): "
    "the updater sends no credentials, and every log line of a download would show them")
endif()
string(LENGTH "${QZUPDATE_BASE_URL}" length)
if(length GREATER 800)
  message(FATAL_ERROR "QZUPDATE_BASE_URL is longer than the 800 characters the updater keeps")
endif()
