def pytest_report_header(config):
    import plovane

    return f"plovane from {plovane.__file__}"
