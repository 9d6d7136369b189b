// remotefile: being written.
