// server: being written.
