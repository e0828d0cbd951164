import sys

import pytest


def pytest_report_header(config):
    import plovane

    return f"plovane from {plovane.__file__}"


@pytest.fixture
def chain():
    """Builds a chain of nested nodes named 'n', `depth` levels below the root."""

    def build(depth, name="n"):
        import plovane

        node = plovane.Node(name)
        for _ in range(depth):
            node = plovane.Node(name, children=[node])
        return node

    return build
