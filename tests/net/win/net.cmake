# The network layer on Windows against the stand-in services, which run outside the test (see
# the test's head for the variables that name them); skipped when they are not named.
tarnwick_test(net_wininet_win_test SOURCES wininet_win_test.cpp LIBS tarnwick_net tarnwick_deployment tarnwick_system
  CURL::libcurl ws2_32)
tarnwick_test(net_system_proxy_win_test SOURCES system_proxy_win_test.cpp LIBS tarnwick_net)
