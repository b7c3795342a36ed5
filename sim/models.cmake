# Core and peripheral models.
