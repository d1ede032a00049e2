"""Storage-node sandbox: real sshd nodes and glusterd inside Linux namespaces."""
