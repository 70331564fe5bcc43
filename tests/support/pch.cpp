// Carries the test suites' precompiled header: the suites reuse what this target builds.
